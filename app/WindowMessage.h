// A numbered window message, posted to the main window's event queue: the endpoints' readability becomes
// message 1106 this way, and reaches WndProc in turn with everything else the window handles.
#pragma once

#include <cstdint>

#include <QEvent>

namespace lut::app {

class WindowMessage final : public QEvent {
  public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(QEvent::User + 82);

    WindowMessage(int message, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType), message_(message), wParam_(wParam), lParam_(lParam) {}

    int Message() const { return message_; }
    std::intptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

  private:
    int message_;
    std::intptr_t wParam_;
    std::intptr_t lParam_;
};

}  // namespace lut::app
