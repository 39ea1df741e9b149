#pragma once

namespace kelmora::platform {

// Lets pending window events run, once.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processPendingEvents() = 0;
};

class NoEventPump final : public EventPump {
public:
    void processPendingEvents() override {}
};

}  // namespace kelmora::platform
