/* A small X client for the X11 checks: a foreign parent window owned by
 * another process (as a control panel's preview), and the window manager's
 * close request for a window.
 *
 *   x11_helper parent W H   create and map a WxH window, print its id, then
 *                            read commands from stdin: "resize W H", "destroy"
 *                            (also on end of input), "focus" (take the
 *                            keyboard focus now), "steal CLASS" (wait until a
 *                            window of class CLASS holds the focus, then take
 *                            it at once); each answers one line
 *   x11_helper close ID      send WM_DELETE_WINDOW to window ID
 *   x11_helper keylatency ID press and release the space key (XTest) and print
 *                            the milliseconds until window ID is unmapped or
 *                            destroyed ("timeout" after 10 s)
 *   x11_helper colours ID [W H X Y]
 *                            print the number of distinct pixel values in
 *                            window ID (or "root"), or in its WxH part at X,Y;
 *                            exits 1 with the reason on stderr when the
 *                            pixels cannot be read
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static void SleepMs(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

static int IgnoreErrors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

/* Whether the focus window (or one of its ancestors) has class `cls`. */
static int FocusHasClass(Display* d, const char* cls) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    for (int depth = 0; depth < 8 && focus != None && focus != PointerRoot; ++depth) {
        XClassHint hint = {NULL, NULL};
        int match = 0;
        if (XGetClassHint(d, focus, &hint)) {
            match = (hint.res_name && strcmp(hint.res_name, cls) == 0) ||
                    (hint.res_class && strcmp(hint.res_class, cls) == 0);
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        if (match) return 1;
        Window root = 0, parent = 0, *children = NULL;
        unsigned count = 0;
        if (!XQueryTree(d, focus, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == root) return 0;
        focus = parent;
    }
    return 0;
}

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
        } else if (strncmp(line, "focus", 5) == 0) {
            XSetInputFocus(d, win, RevertToParent, CurrentTime);
            XSync(d, False);
            printf("focused\n");
            fflush(stdout);
        } else if (strncmp(line, "steal ", 6) == 0) {
            char cls[64] = {0};
            sscanf(line + 6, "%63s", cls);
            int seen = 0;
            for (int i = 0; i < 30000 && !seen; ++i) {
                seen = FocusHasClass(d, cls);
                if (!seen) SleepMs(2);
            }
            XSetInputFocus(d, win, RevertToParent, CurrentTime);
            XSync(d, False);
            printf(seen ? "stolen\n" : "never focused\n");
            fflush(stdout);
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

static int KeyLatency(Display* d, Window win) {
    XSetErrorHandler(IgnoreErrors);
    XSelectInput(d, win, StructureNotifyMask);
    XSync(d, False);
    KeyCode space = XKeysymToKeycode(d, XK_space);
    double start = NowMs();
    XTestFakeKeyEvent(d, space, True, CurrentTime);
    XTestFakeKeyEvent(d, space, False, CurrentTime);
    XFlush(d);
    while (NowMs() - start < 10000.0) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if ((e.type == UnmapNotify && e.xunmap.window == win) ||
                (e.type == DestroyNotify && e.xdestroywindow.window == win)) {
                printf("%.0f\n", NowMs() - start);
                return 0;
            }
        }
        SleepMs(1);
    }
    printf("timeout\n");
    return 1;
}

static int g_last_error = 0;

static int RecordError(Display* d, XErrorEvent* e) {
    (void)d;
    g_last_error = e->error_code;
    return 0;
}

/* Distinct pixel values, counted in an open-addressing set sized for every
 * pixel of the area (so it never fills). */
static int Colours(Display* d, const char* id, int argc, char** argv) {
    Window win = strcmp(id, "root") == 0 ? DefaultRootWindow(d) : (Window)strtoul(id, NULL, 0);
    XSetErrorHandler(RecordError);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, win, &attributes)) {
        fprintf(stderr, "x11_helper colours: window %s does not exist\n", id);
        return 1;
    }
    int x = 0, y = 0, w = attributes.width, h = attributes.height;
    if (argc == 4) {
        w = atoi(argv[0]);
        h = atoi(argv[1]);
        x = atoi(argv[2]);
        y = atoi(argv[3]);
    }
    if (w <= 0 || h <= 0) {
        fprintf(stderr, "x11_helper colours: an empty area (%dx%d)\n", w, h);
        return 1;
    }
    XImage* image = XGetImage(d, win, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    XSync(d, False);
    if (!image) {
        fprintf(stderr, "x11_helper colours: the pixels of %s (%dx%d+%d+%d) cannot be read (X error %d)\n", id, w,
                h, x, y, g_last_error);
        return 1;
    }
    size_t capacity = 1;
    while (capacity < (size_t)w * (size_t)h * 2) capacity <<= 1;
    unsigned long* slots = calloc(capacity, sizeof *slots);
    unsigned char* used = calloc(capacity, 1);
    if (!slots || !used) {
        fprintf(stderr, "x11_helper colours: out of memory\n");
        return 1;
    }
    long count = 0;
    for (int row = 0; row < h; ++row) {
        for (int column = 0; column < w; ++column) {
            unsigned long pixel = XGetPixel(image, column, row);
            size_t slot = (size_t)((pixel * 0x9E3779B97F4A7C15ull) >> 20) & (capacity - 1);
            while (used[slot] && slots[slot] != pixel) slot = (slot + 1) & (capacity - 1);
            if (!used[slot]) {
                used[slot] = 1;
                slots[slot] = pixel;
                ++count;
            }
        }
    }
    free(slots);
    free(used);
    XDestroyImage(image);
    printf("%ld\n", count);
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
    else if (argc == 3 && strcmp(argv[1], "keylatency") == 0) rc = KeyLatency(d, (Window)strtoul(argv[2], NULL, 0));
    else if ((argc == 3 || argc == 7) && strcmp(argv[1], "colours") == 0) rc = Colours(d, argv[2], argc - 3, argv + 3);
    else fprintf(stderr, "usage: x11_helper parent W H | close ID | keylatency ID | colours ID [W H X Y]\n");
    XCloseDisplay(d);
    return rc;
}
