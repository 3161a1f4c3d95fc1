// wl-click X Y WIDTH HEIGHT: moves a virtual pointer to (X, Y) of an output
// layout of WIDTH x HEIGHT and clicks the left button there.
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct wl_seat* seat;
static struct zwlr_virtual_pointer_manager_v1* manager;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && seat == NULL) {
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    }
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static uint32_t now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

static void pause_ms(long ms) {
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&wait, NULL);
}

static void button(struct wl_display* display, struct zwlr_virtual_pointer_v1* pointer,
                   enum wl_pointer_button_state state) {
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, state);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: wl-click X Y WIDTH HEIGHT\n", stderr);
        return 2;
    }
    const uint32_t x = (uint32_t)atoi(argv[1]), y = (uint32_t)atoi(argv[2]);
    const uint32_t width = (uint32_t)atoi(argv[3]), height = (uint32_t)atoi(argv[4]);
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fputs("wl-click: no Wayland display\n", stderr);
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    static const struct wl_registry_listener listener = {global, global_remove};
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (manager == NULL || seat == NULL) {
        fputs("wl-click: the compositor has no virtual pointer\n", stderr);
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    // The seat gains a pointer with this device: clients bind theirs first, or
    // they miss the pointer entering their window.
    wl_display_roundtrip(display);
    pause_ms(300);
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    pause_ms(100);
    button(display, pointer, WL_POINTER_BUTTON_STATE_PRESSED);
    pause_ms(30);
    button(display, pointer, WL_POINTER_BUTTON_STATE_RELEASED);
    pause_ms(100);
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
