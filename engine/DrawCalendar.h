#pragma once

#include <cstdint>
#include <vector>

// A calculation whose result is known ahead of its drawing: its first slice falls in cycle
// Queued, it takes Steps slices, so it is drawn with Value in cycle Due.
struct TPendingDraw {
    std::int64_t Queued;
    std::int64_t Due;
    std::int32_t X;
    std::int32_t Y;
    std::int32_t Allowed; // the steps it was given when queued
    std::int32_t Steps;
    std::int32_t Value;
};

// Pending draws ordered as cycles over a pending list would finish them: by due cycle,
// and within one cycle newest first. A heap rather than a ring of cycles, because a due
// cycle may lie any number of cycles ahead (the maximum age has no bound).
class TDrawCalendar {
public:
    void Clear() { FHeap.clear(); }
    bool Empty() const { return FHeap.empty(); }
    std::size_t Count() const { return FHeap.size(); }
    // The first cycle in which something is due; only when not Empty.
    std::int64_t NextDue() const { return FHeap.front().Due; }

    void Add(const TPendingDraw& Draw);
    // Takes out the next draw due in Cycle, if any.
    bool PopDue(std::int64_t Cycle, TPendingDraw& Draw) {
        // Inline for the common answer: nothing is due in most cycles.
        if (FHeap.empty() || FHeap.front().Due != Cycle)
            return false;
        return PopFront(Draw);
    }
    // Takes every pending draw out, in queue order.
    std::vector<TPendingDraw> TakeAll();

private:
    bool PopFront(TPendingDraw& Draw);

    std::vector<TPendingDraw> FHeap;
};
