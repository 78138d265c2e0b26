/* wlpointer: a virtual pointer for tests on a wlroots compositor (sway).
 * Reads commands from its standard input, one per line, and answers "ok"
 * after each (so that a test knows the compositor has it):
 *   move X Y       the pointer to X, Y of the output (pixels, absolute)
 *   press N        button N down (1 left, 2 middle, 3 right)
 *   release N      button N up
 *   click N        press and release
 *   wheel N        N notches (negative: up)
 * The output's size is given on the command line: wlpointer WIDTH HEIGHT. */
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

static uint32_t now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static uint32_t button_code(int n)
{
    return n == 2 ? BTN_MIDDLE : n == 3 ? BTN_RIGHT : BTN_LEFT;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: wlpointer WIDTH HEIGHT\n");
        return 2;
    }
    const uint32_t width = (uint32_t)atoi(argv[1]);
    const uint32_t height = (uint32_t)atoi(argv[2]);
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wlpointer: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "wlpointer: the compositor has no virtual pointers\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1 *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    char line[256];
    setvbuf(stdout, NULL, _IOLBF, 0);
    while (fgets(line, sizeof line, stdin)) {
        int a = 0, b = 0;
        if (sscanf(line, "move %d %d", &a, &b) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), (uint32_t)a, (uint32_t)b, width, height);
        } else if (sscanf(line, "press %d", &a) == 1) {
            zwlr_virtual_pointer_v1_button(pointer, now(), button_code(a), WL_POINTER_BUTTON_STATE_PRESSED);
        } else if (sscanf(line, "release %d", &a) == 1) {
            zwlr_virtual_pointer_v1_button(pointer, now(), button_code(a), WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (sscanf(line, "click %d", &a) == 1) {
            zwlr_virtual_pointer_v1_button(pointer, now(), button_code(a), WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, now(), button_code(a), WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (sscanf(line, "wheel %d", &a) == 1) {
            zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                                  wl_fixed_from_int(15 * a), a);
        } else {
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        puts("ok");
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
