#include "launcher/display_scale.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace vorn {

namespace {

// The RESOURCE_MANAGER text of the display's first screen, where desktops put Xft.dpi.
std::string resourceManagerText()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    std::string text;
    if (xcb_connection_has_error(connection) == 0) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        if (screen) {
            // Up to 1 MiB (the length is in 32-bit units).
            const xcb_get_property_cookie_t cookie =
                xcb_get_property(connection, 0, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                                 XCB_ATOM_STRING, 0, 256 * 1024);
            if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
                const int length = xcb_get_property_value_length(reply);
                if (reply->format == 8 && length > 0)
                    text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                                static_cast<size_t>(length));
                std::free(reply);
            }
        }
    }
    xcb_disconnect(connection);
    return text;
}

bool onX11()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return std::strncmp(platform, "xcb", 3) == 0;
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

} // namespace

Qt::HighDpiScaleFactorRoundingPolicy displayScaleRounding()
{
    if (!onX11() || xftDpiFromResources(resourceManagerText()) > 0)
        return Qt::HighDpiScaleFactorRoundingPolicy::PassThrough;
    return Qt::HighDpiScaleFactorRoundingPolicy::Round;
}

} // namespace vorn
