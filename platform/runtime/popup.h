// Message popups of the run-time: the driver tells the operator something without knowing how
// it is shown. A front panel installs a service that opens a modal dialog; a program without a
// window keeps the default, one line on standard error; tests install a RecordingPopups.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qx::runtime {

class PopupService {
public:
    virtual ~PopupService() = default;
    // Shows the message and returns once the operator has seen it (a dialog: when it is dismissed).
    virtual void messagePopup(std::string_view title, std::string_view message) = 0;
};

PopupService &currentPopupService();
// nullptr restores the default. The caller keeps ownership.
void setPopupService(PopupService *service);

// Shows a message through the installed service, on the calling thread. Never throws.
void MessagePopup(std::string_view title, std::string_view message);

// Remembers every popup instead of showing it.
class RecordingPopups : public PopupService {
public:
    struct Popup {
        std::string title;
        std::string message;
        bool operator==(const Popup &) const = default;
    };
    void messagePopup(std::string_view title, std::string_view message) override;
    std::vector<Popup> popups() const;

private:
    mutable std::mutex mutex_;
    std::vector<Popup> popups_;
};

// Installs a service for the life of the guard, then restores the previous one.
class ScopedPopupService {
public:
    explicit ScopedPopupService(PopupService &service);
    ~ScopedPopupService();
    ScopedPopupService(const ScopedPopupService &) = delete;
    ScopedPopupService &operator=(const ScopedPopupService &) = delete;

private:
    PopupService *previous_;
};

// The default service's line for a popup: "title: message", with line breaks and other control
// characters of the message turned into single blanks and the ends trimmed.
std::string popupLine(std::string_view title, std::string_view message);

} // namespace qx::runtime
