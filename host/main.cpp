// Program entry of the saver.
#include <cstdio>

int main(int argc, char** argv) {
    std::printf("tessaloom-saver 0.1.0\n");
    for (int i = 1; i < argc; ++i) std::printf("argument: %s\n", argv[i]);
    return 0;
}
