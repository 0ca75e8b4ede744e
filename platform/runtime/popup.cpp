#include "runtime/popup.h"

#include <atomic>
#include <cstdio>

namespace qx::runtime {
namespace {

class StandardErrorPopups : public PopupService {
public:
    void messagePopup(std::string_view title, std::string_view message) override
    {
        const std::string line = popupLine(title, message) + '\n';
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
};

StandardErrorPopups standardErrorPopups;
std::atomic<PopupService *> current{&standardErrorPopups};

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

} // namespace

std::string popupLine(std::string_view title, std::string_view message)
{
    std::string text;
    bool pendingBlank = false;
    for (unsigned char c : message) {
        if (isControl(c) || c == ' ') {
            pendingBlank = !text.empty();
            continue;
        }
        if (pendingBlank)
            text += ' ';
        pendingBlank = false;
        text += static_cast<char>(c);
    }
    std::string line(title);
    line += ": ";
    line += text;
    return line;
}

PopupService &currentPopupService() { return *current.load(); }

void setPopupService(PopupService *service) { current.store(service ? service : &standardErrorPopups); }

void MessagePopup(std::string_view title, std::string_view message)
{
    try {
        currentPopupService().messagePopup(title, message);
    } catch (...) {
        // A message that cannot be shown must not take its caller down.
    }
}

void RecordingPopups::messagePopup(std::string_view title, std::string_view message)
{
    std::lock_guard lock(mutex_);
    popups_.push_back({std::string(title), std::string(message)});
}

std::vector<RecordingPopups::Popup> RecordingPopups::popups() const
{
    std::lock_guard lock(mutex_);
    return popups_;
}

ScopedPopupService::ScopedPopupService(PopupService &service) : previous_(&currentPopupService())
{
    setPopupService(&service);
}

ScopedPopupService::~ScopedPopupService() { setPopupService(previous_); }

} // namespace qx::runtime
