// Sends a window a client message, for the checks under a real X server.
// Usage: x11_message WINDOW-ID close|mark
//   close  what a window manager sends when the user closes the window (WM_DELETE_WINDOW)
//   mark   a message the program ignores, which arrives after everything sent to it before
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

int main(int argc, char** argv) {
  const bool close = argc == 3 && std::strcmp(argv[2], "close") == 0;
  if (argc != 3 || (!close && std::strcmp(argv[2], "mark") != 0)) {
    std::fprintf(stderr, "usage: x11_message WINDOW-ID close|mark\n");
    return 2;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "x11_message: no X display\n");
    return 1;
  }
  const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.window = window;
  if (close) {
    event.format = 32;
    event.type = Atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
  } else {
    event.format = 8;
    event.type = Atom(connection, "_VARNEL_MARK");
    std::memcpy(event.data.data8, "varnel-mark", 11);
  }
  // Checked, so the message has been sent on when this returns.
  xcb_generic_error_t* error = xcb_request_check(
      connection, xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                         reinterpret_cast<const char*>(&event)));
  xcb_disconnect(connection);
  if (error != nullptr) {
    std::fprintf(stderr, "x11_message: window %s: X error %d\n", argv[1], error->error_code);
    std::free(error);
    return 1;
  }
  return 0;
}
