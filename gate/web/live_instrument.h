// The live view and the controls of one QX source behind the gateway. Everything it does goes
// through the driver, on a session opened on the instrument's own conversation (a party of it,
// ConversationDevice), and runs on one worker thread per instrument (LatestWorker): the monitor's
// poller hands its polls there, and each control runs there too, so nothing interleaves on the
// wire. Polling runs only while some page watches, at a pace that leaves the instrument to the
// other clients; every reading, and the settings read after each control, go to the pages as one
// state message (EventFeed) holding each value with the time it was read.
#pragma once

#include "event_feed.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace qx::serve {
class Conversation;
}

namespace qx::gate::web {

struct ControlRequest {
    std::string action; // voltage, frequency, current, range, output, drop
    std::string value;  // a number; low or high (range); on or off (output); "" (drop)
};

struct ControlResult {
    bool done = false;
    std::string message; // what happened, with the driver's words on a failure
};

class LiveInstrument {
public:
    using Log = std::function<void(const std::string &)>;
    struct Settings {
        std::size_t index = 0; // of the instrument among the served ones: names its in-process device
        std::string device;    // its served name, for the log
        int phases = 3;        // 1 for a single-phase model
        double interval = 2.0; // seconds between polls
        std::chrono::milliseconds controlTimeout{30000};
    };

    LiveInstrument(std::shared_ptr<serve::Conversation> conversation, Settings settings, Log log);
    ~LiveInstrument(); // stop()
    LiveInstrument(const LiveInstrument &) = delete;
    LiveInstrument &operator=(const LiveInstrument &) = delete;

    EventFeed &feed();
    // A page starts watching: the first one starts the polls. unwatch() for each watch().
    void watch();
    void unwatch();
    // Runs the control on the worker and waits for it; refuses unknown actions and bad values
    // before anything is sent.
    ControlResult control(const ControlRequest &request);
    // Ends the polls, the streams and the driver session; the conversation's party leaves.
    void stop();

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::gate::web
