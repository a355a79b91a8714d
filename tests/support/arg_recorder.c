/* A program for the process tests: writes its argument vector (argv[0]
 * included, each argument followed by a NUL byte) to the file named by
 * $TESSALOOM_ARG_RECORD, through a temporary file and a rename, so the file
 * appears complete or not at all.  Also records whether descriptor 3 and up
 * were open (a line "open-fds N" after the arguments). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <fcntl.h>

int main(int argc, char** argv) {
    const char* path = getenv("TESSALOOM_ARG_RECORD");
    if (!path) return 2;
    int open_fds = 0;
    for (int fd = 3; fd < 256; ++fd)
        if (fcntl(fd, F_GETFD) != -1) ++open_fds;
    char temp[4096];
    snprintf(temp, sizeof temp, "%s.part", path);
    FILE* f = fopen(temp, "wb");
    if (!f) return 3;
    for (int i = 0; i < argc; ++i) fwrite(argv[i], 1, strlen(argv[i]) + 1, f);
    fprintf(f, "open-fds %d", open_fds);
    if (fclose(f) != 0) return 4;
    return rename(temp, path) == 0 ? 0 : 5;
}
