/* A small X client for the X11 checks: a foreign parent window owned by
 * another process (as a control panel's preview), and the window manager's
 * close request for a window.
 *
 *   x11_helper parent W H   create and map a WxH window, print its id, then
 *                            read commands from stdin: "resize W H", "destroy"
 *                            (also on end of input)
 *   x11_helper close ID      send WM_DELETE_WINDOW to window ID
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Parent(Display* d, int w, int h) {
    Window win = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, (unsigned)w, (unsigned)h, 0, 0,
                                     WhitePixel(d, DefaultScreen(d)));
    XStoreName(d, win, "Foreign preview parent");
    XMapWindow(d, win);
    XSync(d, False);
    printf("%lu\n", (unsigned long)win);
    fflush(stdout);
    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        int nw, nh;
        if (sscanf(line, "resize %d %d", &nw, &nh) == 2) {
            XResizeWindow(d, win, (unsigned)nw, (unsigned)nh);
            XSync(d, False);
            printf("resized\n");
            fflush(stdout);
        } else if (strncmp(line, "destroy", 7) == 0) {
            break;
        }
    }
    XDestroyWindow(d, win);
    XSync(d, False);
    return 0;
}

static int Close(Display* d, Window win) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = win;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, win, False, NoEventMask, &e);
    XSync(d, False);
    return 0;
}

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "x11_helper: cannot open the display\n");
        return 2;
    }
    int rc = 2;
    if (argc == 4 && strcmp(argv[1], "parent") == 0) rc = Parent(d, atoi(argv[2]), atoi(argv[3]));
    else if (argc == 3 && strcmp(argv[1], "close") == 0) rc = Close(d, (Window)strtoul(argv[2], NULL, 0));
    else fprintf(stderr, "usage: x11_helper parent W H | close ID\n");
    XCloseDisplay(d);
    return rc;
}
