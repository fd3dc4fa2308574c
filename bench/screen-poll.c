/* The eye of bench/viewer-race: starts a viewer and watches the screen for the picture it was
 * given, by colour. Each test picture is two saturated colours in horizontal bands (grain on
 * top, so that the file is as large as a photograph's), and a picture counts as on screen when
 * both of its colours cover at least --min samples of a grid over the whole screen: whatever a
 * viewer shows of it (fitted, 1:1 from a corner, with or without a frame), both colours are
 * there, and nothing else on a desktop is near them.
 *
 *   screen-poll open --pair A,B -- PROGRAM ARGS...
 *       prints "open MS": from just before the program starts to the picture on screen.
 *   screen-poll step --pairs A,B:C,D:E,F --final G,H --steps N --key KEYSYM [--setup CMD]
 *                    -- PROGRAM ARGS...
 *       waits for the first pair, runs CMD (through sh, with the program's process id in
 *       SCREEN_POLL_PID) when given and waits for the first
 *       pair again, then holds KEYSYM down (the server repeats it) until the final pair is on
 *       screen. Prints "open MS step MS CHANGES": the mean time per file over the N steps (from
 *       the press to the last file's picture; the key repeats after 100 ms, then every 25 ms,
 *       so no viewer can do better than (100 + (N - 2) * 25) / N ms) and
 *       how many changes of picture the screen showed on the way (fewer than N: some files
 *       were passed over without being painted).
 *
 * The screen is read through MIT-SHM when the server offers it (a copy of the frame buffer in
 * about a millisecond on Xvfb), every --interval milliseconds (default 2). The program runs in
 * a process group of its own, ended with SIGTERM (then SIGKILL) when the measurement is done.
 * Exit status 0 when measured, 1 on a timeout (--timeout MS, default 20000), 2 on misuse. */

#define _GNU_SOURCE
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

/* libXtst's one call, declared here so that its -dev package is not needed to build this. */
extern int XTestFakeKeyEvent(Display *display, unsigned int keycode, Bool is_press,
                             unsigned long delay);

enum { kMaxPairs = 8, kGrid = 8, kTolerance = 72 };

typedef struct {
    unsigned char rgb[2][3];
} Pair;

static Display *g_display;
static XImage *g_image;
static XShmSegmentInfo g_shm;
static int g_useShm;
static int g_width, g_height;
static pid_t g_child = -1;
static int g_min = 150;
static int g_intervalMs = 2;
static int g_timeoutMs = 20000;

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void SleepMs(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

static int ParseColour(const char *text, unsigned char rgb[3]) {
    unsigned int value;
    if (strlen(text) != 6 || sscanf(text, "%6x", &value) != 1) return 0;
    rgb[0] = (value >> 16) & 255;
    rgb[1] = (value >> 8) & 255;
    rgb[2] = value & 255;
    return 1;
}

static int ParsePair(const char *text, Pair *pair) {
    char a[7] = {0}, b[7] = {0};
    if (sscanf(text, "%6[0-9a-fA-F],%6[0-9a-fA-F]", a, b) != 2) return 0;
    return ParseColour(a, pair->rgb[0]) && ParseColour(b, pair->rgb[1]);
}

static void EndChild(void) {
    if (g_child <= 0) return;
    kill(-g_child, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(g_child, NULL, WNOHANG) == g_child) {
            g_child = -1;
            return;
        }
        SleepMs(10);
    }
    kill(-g_child, SIGKILL);
    waitpid(g_child, NULL, 0);
    g_child = -1;
}

static void Fail(const char *message) {
    fprintf(stderr, "screen-poll: %s\n", message);
    EndChild();
    exit(1);
}

static void OpenScreen(void) {
    g_display = XOpenDisplay(NULL);
    if (!g_display) {
        fprintf(stderr, "screen-poll: cannot open the display (DISPLAY=%s)\n",
                getenv("DISPLAY") ? getenv("DISPLAY") : "");
        exit(2);
    }
    const int screen = DefaultScreen(g_display);
    g_width = DisplayWidth(g_display, screen);
    g_height = DisplayHeight(g_display, screen);
    if (XShmQueryExtension(g_display)) {
        g_image = XShmCreateImage(g_display, DefaultVisual(g_display, screen),
                                  DefaultDepth(g_display, screen), ZPixmap, NULL, &g_shm, g_width,
                                  g_height);
        if (g_image) {
            g_shm.shmid = shmget(IPC_PRIVATE, (size_t)g_image->bytes_per_line * g_height,
                                 IPC_CREAT | 0600);
            g_shm.shmaddr = g_image->data = shmat(g_shm.shmid, NULL, 0);
            g_shm.readOnly = False;
            g_useShm = g_shm.shmaddr != (void *)-1 && XShmAttach(g_display, &g_shm);
            XSync(g_display, False);
            shmctl(g_shm.shmid, IPC_RMID, NULL);
        }
    }
}

/* Reads the whole screen; 0 when the server refused (a mode change, a closing display). */
static int Grab(void) {
    Window root = DefaultRootWindow(g_display);
    if (g_useShm) return XShmGetImage(g_display, root, g_image, 0, 0, AllPlanes);
    if (g_image) XDestroyImage(g_image);
    g_image = XGetImage(g_display, root, 0, 0, g_width, g_height, AllPlanes, ZPixmap);
    return g_image != NULL;
}

static int Near(unsigned long pixel, const unsigned char rgb[3]) {
    const int r = (pixel >> 16) & 255, g = (pixel >> 8) & 255, b = pixel & 255;
    return abs(r - rgb[0]) <= kTolerance && abs(g - rgb[1]) <= kTolerance &&
           abs(b - rgb[2]) <= kTolerance;
}

/* Which of the pairs is on screen (both colours over the threshold), the one with the most
 * samples when several are; -1 when none. */
static int Visible(const Pair *pairs, int count) {
    if (!Grab()) return -1;
    int counts[kMaxPairs][2];
    memset(counts, 0, sizeof counts);
    const int fast = g_image->bits_per_pixel == 32;
    for (int y = kGrid / 2; y < g_height; y += kGrid) {
        const unsigned int *row = (const unsigned int *)(g_image->data + (size_t)y * g_image->bytes_per_line);
        for (int x = kGrid / 2; x < g_width; x += kGrid) {
            const unsigned long pixel = fast ? row[x] : XGetPixel(g_image, x, y);
            for (int p = 0; p < count; ++p)
                for (int c = 0; c < 2; ++c)
                    if (Near(pixel, pairs[p].rgb[c])) ++counts[p][c];
        }
    }
    int best = -1, bestCount = 0;
    for (int p = 0; p < count; ++p) {
        const int both = counts[p][0] < counts[p][1] ? counts[p][0] : counts[p][1];
        if (both >= g_min && both > bestCount) {
            best = p;
            bestCount = both;
        }
    }
    return best;
}

static double WaitFor(const Pair *pairs, int count, int wanted, double since) {
    while (NowMs() - since < g_timeoutMs) {
        if (Visible(pairs, count) == wanted) return NowMs();
        if (g_child > 0 && waitpid(g_child, NULL, WNOHANG) == g_child) {
            g_child = -1;
            Fail("the program ended before its picture was on screen");
        }
        SleepMs(g_intervalMs);
    }
    Fail("timed out waiting for the picture");
    return 0;
}

static void Start(char **argv) {
    g_child = fork();
    if (g_child < 0) Fail("cannot fork");
    if (g_child == 0) {
        setpgid(0, 0);
        /* Whatever the program prints goes to standard error: standard output is the figures'. */
        dup2(2, 1);
        execvp(argv[0], argv);
        fprintf(stderr, "screen-poll: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    setpgid(g_child, g_child);
}

static void Usage(void) {
    fputs("usage: screen-poll open --pair RRGGBB,RRGGBB [options] -- PROGRAM ARGS...\n"
          "       screen-poll step --pairs A,B:C,D... --final A,B --steps N --key KEYSYM\n"
          "                        [--setup CMD] [options] -- PROGRAM ARGS...\n"
          "options: --min SAMPLES (150) --interval MS (2) --timeout MS (20000)\n",
          stderr);
    exit(2);
}

int main(int argc, char **argv) {
    if (argc < 2) Usage();
    const int stepMode = strcmp(argv[1], "step") == 0;
    if (!stepMode && strcmp(argv[1], "open") != 0) Usage();
    Pair pairs[kMaxPairs + 1];
    int pairCount = 0;
    Pair final;
    int haveFinal = 0, steps = 0;
    const char *key = NULL, *setup = NULL;
    int i = 2;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        const char *option = argv[i];
        if (i + 1 >= argc) Usage();
        const char *value = argv[++i];
        if (strcmp(option, "--pair") == 0 || strcmp(option, "--pairs") == 0) {
            char *copy = strdup(value);
            for (char *part = strtok(copy, ":"); part; part = strtok(NULL, ":")) {
                if (pairCount == kMaxPairs || !ParsePair(part, &pairs[pairCount])) Usage();
                ++pairCount;
            }
            free(copy);
        } else if (strcmp(option, "--final") == 0) {
            if (!ParsePair(value, &final)) Usage();
            haveFinal = 1;
        } else if (strcmp(option, "--steps") == 0) {
            steps = atoi(value);
        } else if (strcmp(option, "--key") == 0) {
            key = value;
        } else if (strcmp(option, "--setup") == 0) {
            setup = value;
        } else if (strcmp(option, "--min") == 0) {
            g_min = atoi(value);
        } else if (strcmp(option, "--interval") == 0) {
            g_intervalMs = atoi(value);
        } else if (strcmp(option, "--timeout") == 0) {
            g_timeoutMs = atoi(value);
        } else {
            Usage();
        }
    }
    if (i + 1 >= argc || pairCount == 0) Usage();
    if (stepMode && (!haveFinal || steps < 1 || !key)) Usage();
    char **program = argv + i + 1;

    OpenScreen();
    const double start = NowMs();
    Start(program);
    const double shown = WaitFor(pairs, pairCount, 0, start);
    if (!stepMode) {
        printf("open %.1f\n", shown - start);
        EndChild();
        return 0;
    }

    if (setup) {
        char pid[32];
        snprintf(pid, sizeof pid, "%d", (int)g_child);
        setenv("SCREEN_POLL_PID", pid, 1);
        if (system(setup) != 0) Fail("the setup command failed");
        WaitFor(pairs, pairCount, 0, NowMs());
    }
    /* The held key: a first press, then the server's repeats, at a fixed delay and rate so
     * that every viewer is offered the same stream (25 ms: faster than any of them steps). */
    const KeySym sym = XStringToKeysym(key);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(g_display, sym);
    if (!code) Fail("unknown key");
    XkbSetAutoRepeatRate(g_display, XkbUseCoreKbd, 100, 25);
    XAutoRepeatOn(g_display);
    SleepMs(300); /* the viewer settles: its read-ahead, a deferred fit */
    pairs[pairCount] = final;
    int current = 0, changes = 0;
    XTestFakeKeyEvent(g_display, code, True, CurrentTime);
    XFlush(g_display);
    const double pressed = NowMs();
    double first = 0, ended = 0; /* first: when the first change was seen */
    while (NowMs() - pressed < g_timeoutMs) {
        const int now = Visible(pairs, pairCount + 1);
        if (now >= 0 && now != current) {
            if (++changes == 1) first = NowMs();
            current = now;
            if (now == pairCount) {
                ended = NowMs();
                break;
            }
        }
        if (g_child > 0 && waitpid(g_child, NULL, WNOHANG) == g_child) {
            g_child = -1;
            Fail("the program ended while the key was held");
        }
        SleepMs(g_intervalMs);
    }
    XTestFakeKeyEvent(g_display, code, False, CurrentTime);
    XFlush(g_display);
    if (ended == 0) Fail("timed out holding the key");
    /* From the press to the last file's picture: a viewer that paints only once it has caught
     * up with the keys shows no picture between (its first change is the last file). */
    (void)first;
    printf("open %.1f step %.1f %d\n", shown - start, (ended - pressed) / steps, changes);
    EndChild();
    return 0;
}
