#include "engine/DrawCalendar.h"

#include <algorithm>

namespace {
// Heap order: "A comes after B". Every cycle queues at most one calculation, so Queued
// tells apart the draws of one cycle.
bool Later(const TPendingDraw& A, const TPendingDraw& B) {
    return A.Due != B.Due ? A.Due > B.Due : A.Queued < B.Queued;
}
} // namespace

void TDrawCalendar::Add(const TPendingDraw& Draw) {
    FHeap.push_back(Draw);
    std::push_heap(FHeap.begin(), FHeap.end(), Later);
}

bool TDrawCalendar::PopFront(TPendingDraw& Draw) {
    std::pop_heap(FHeap.begin(), FHeap.end(), Later);
    Draw = FHeap.back();
    FHeap.pop_back();
    return true;
}

std::vector<TPendingDraw> TDrawCalendar::TakeAll() {
    std::vector<TPendingDraw> All;
    All.swap(FHeap);
    std::sort(All.begin(), All.end(),
              [](const TPendingDraw& A, const TPendingDraw& B) { return A.Queued < B.Queued; });
    return All;
}
