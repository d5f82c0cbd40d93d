/* A hotkey's work: step a display's brightness by a percentage of its
 * maximum and say where it landed. Without arguments, lists the displays.
 *
 * Usage: brightness [<display> <percent, signed>] */
#include <stdio.h>
#include <stdlib.h>

#include <panoctl/panoctl.h>

static panoctl_status list_displays(panoctl_session* session)
{
    size_t count = 0;
    panoctl_status status = panoctl_display_count(session, &count);
    for (size_t i = 0; status == PANOCTL_OK && i < count; i++) {
        panoctl_display_info info;
        info.size = sizeof info;
        status = panoctl_display_info_at(session, i, &info);
        if (status == PANOCTL_OK) {
            printf("%d %s %s\n", info.position, info.id, info.name);
        }
    }
    return status;
}

int main(int argc, char** argv)
{
    if (argc != 1 && argc != 3) {
        fprintf(stderr, "usage: brightness [<display> <percent>]\n");
        return 2;
    }
    panoctl_session* session = NULL;
    panoctl_status status = panoctl_open(NULL, &session);
    if (status == PANOCTL_OK && argc == 1) {
        status = list_displays(session);
    } else if (status == PANOCTL_OK) {
        unsigned value = 0;
        status = panoctl_step(session, argv[1], 0x10, atoi(argv[2]), 1, &value);
        if (status == PANOCTL_OK) {
            printf("brightness %u\n", value);
        }
    }
    panoctl_close(&session);
    if (status != PANOCTL_OK) {
        fprintf(stderr, "brightness: %s\n", panoctl_status_name(status));
        return 1;
    }
    return 0;
}
