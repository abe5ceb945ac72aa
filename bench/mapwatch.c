/* Starts a program and waits, as an X client, for the MapNotify of its first top-level window;
 * prints the time from exec to map and the program's RSS a while later.
 *
 *   mapwatch RSS_DELAY_MS PROGRAM [ARG]...
 *   -> "map_ms 123.456 rss_kb 45678"
 */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static long rss_kb(pid_t pid)
{
    char path[64], line[256];
    long kb = -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *status = fopen(path, "r");
    if (!status)
        return -1;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            kb = strtol(line + 6, NULL, 10);
    fclose(status);
    return kb;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: mapwatch RSS_DELAY_MS PROGRAM [ARG]...\n");
        return 2;
    }
    const long delay = strtol(argv[1], NULL, 10);
    xcb_connection_t *x = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(x)) {
        fprintf(stderr, "mapwatch: no X display\n");
        return 2;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    const double start = now_ms();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double mapped = -1;
    xcb_generic_event_t *event;
    while (mapped < 0 && (event = xcb_wait_for_event(x))) {
        if ((event->response_type & ~0x80) == XCB_MAP_NOTIFY)
            mapped = now_ms();
        free(event);
    }
    struct timespec wait = {delay / 1000, (delay % 1000) * 1000000L};
    nanosleep(&wait, NULL);
    const long rss = rss_kb(child);
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    xcb_disconnect(x);
    printf("map_ms %.3f rss_kb %ld\n", mapped - start, rss);
    return mapped < 0;
}
