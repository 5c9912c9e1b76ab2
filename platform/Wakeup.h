#pragma once

// A wake-up call for an event loop from any thread: Notify makes Fd readable until the
// loop calls Clear. Notices arriving before Clear merge into one.
class TWakeup {
public:
    TWakeup();
    ~TWakeup();

    TWakeup(const TWakeup&) = delete;
    TWakeup& operator=(const TWakeup&) = delete;

    // Safe from any thread; never blocks.
    void Notify();
    void Clear();
    int Fd() const { return FFile; }

private:
    int FFile = -1;
};
