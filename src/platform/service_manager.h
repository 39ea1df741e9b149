#pragma once

namespace kelmora::platform {

// What the machine's service manager is told of the service: that it is ready, once, and that it
// is alive, again and again while its poll cycle runs. A manager that stops hearing it restarts it.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    virtual void ready() = 0;
    virtual void alive() = 0;
};

// No manager watches (a desktop session, a terminal).
class NoServiceManager final : public ServiceManager {
public:
    void ready() override {}
    void alive() override {}
};

}  // namespace kelmora::platform
