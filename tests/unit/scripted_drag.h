// A DragInput fed from a list of mouse events, for dragging trackers in
// tests without a window. It records the rectangles the drag showed so
// that a test can see the feedback is hidden again at the end.
#pragma once

#include <ostream>
#include <vector>

#include "ui/region_tracker.h"

class ScriptedDrag : public DragInput {
public:
    explicit ScriptedDrag(std::vector<DragEvent> events) : events_(std::move(events)) {}

    static DragEvent MoveTo(int x, int y) { return DragEvent{DragEvent::Move, Point32{x, y}}; }
    static DragEvent ReleaseAt(int x, int y) { return DragEvent{DragEvent::Release, Point32{x, y}}; }
    static DragEvent Escape() { return DragEvent{DragEvent::Cancel, Point32{}}; }

    bool Begin() override {
        ++begun;
        return allowBegin;
    }
    // Running out of events ends the drag as Escape would, so a short
    // script cannot hang a test.
    DragEvent Next() override { return next_ < events_.size() ? events_[next_++] : Escape(); }
    void Show(const Rect32* previous, const Rect32* current) override {
        if (previous != nullptr) --visible;
        if (current != nullptr) {
            ++visible;
            shown.push_back(*current);
        }
    }
    void End() override { ++ended; }

    bool allowBegin = true;
    int begun = 0;
    int ended = 0;
    int visible = 0;
    std::vector<Rect32> shown;

private:
    std::vector<DragEvent> events_;
    std::size_t next_ = 0;
};

inline std::ostream& operator<<(std::ostream& out, const Point32& p) { return out << "(" << p.x << ", " << p.y << ")"; }
