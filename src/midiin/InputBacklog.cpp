#include "midiin/InputBacklog.h"

#include <cassert>

namespace mt {
namespace {

using Op = InputBacklog::Op;

bool IsPad(Op op) {
    return op == Op::Press || op == Op::Release;
}

// The bar a call sets or moves, 0..2; -1 for none.
int BarOf(Op op) {
    switch (op) {
    case Op::SetVolume:
    case Op::MoveVolume:
        return 0;
    case Op::SetPan:
    case Op::MovePan:
        return 1;
    case Op::SetSpeed:
    case Op::MoveSpeed:
        return 2;
    default:
        return -1;
    }
}

bool IsMove(Op op) {
    return op == Op::MoveVolume || op == Op::MovePan || op == Op::MoveSpeed;
}

} // namespace

bool InputBacklog::add(const Call& call) {
    const std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_size == 0;
    if (IsPad(call.op)) {
        addPad(call);
    } else if (BarOf(call.op) >= 0) {
        addBar(call);
    } else {
        for (int i = static_cast<int>(m_size) - 1; i >= 0; --i) {
            const Op op = m_calls[static_cast<std::size_t>(i)].op;
            if (op == Op::Press || op == Op::Panic) {
                removeAt(i); // every track stops anyway
            }
        }
        append(call);
    }
    return wasEmpty;
}

std::vector<InputBacklog::Call> InputBacklog::take() {
    const std::lock_guard lock(m_mutex);
    std::vector<Call> calls(m_calls.begin(), m_calls.begin() + static_cast<std::ptrdiff_t>(m_size));
    m_size = 0;
    return calls;
}

bool InputBacklog::empty() const {
    const std::lock_guard lock(m_mutex);
    return m_size == 0;
}

template <typename Match> int InputBacklog::find(Match match) const {
    for (int i = static_cast<int>(m_size) - 1; i >= 0; --i) {
        if (match(m_calls[static_cast<std::size_t>(i)])) {
            return i;
        }
    }
    return -1;
}

void InputBacklog::removeAt(int index) {
    for (auto i = static_cast<std::size_t>(index); i + 1 < m_size; ++i) {
        m_calls[i] = m_calls[i + 1];
    }
    --m_size;
}

void InputBacklog::append(const Call& call) {
    assert(m_size < kCapacity && "the coalescing rules keep the backlog bounded");
    if (m_size < kCapacity) {
        m_calls[m_size++] = call;
    }
}

void InputBacklog::addPad(const Call& call) {
    // The track's pad calls always read [release] [press] [release]: a new press replaces the
    // last press (and the release after it), a release after a release adds nothing.
    const auto padOf = [&](Op op) {
        return [&call, op](const Call& c) { return c.track == call.track && c.op == op; };
    };
    const int last = find([&](const Call& c) { return c.track == call.track && IsPad(c.op); });
    const Op lastOp = last >= 0 ? m_calls[static_cast<std::size_t>(last)].op : Op::Panic;
    if (call.op == Op::Release) {
        if (lastOp != Op::Release) {
            append(call);
        }
        return;
    }
    if (lastOp == Op::Press) {
        removeAt(last);
    } else if (lastOp == Op::Release) {
        if (const int press = find(padOf(Op::Press)); press >= 0) {
            removeAt(last);
            removeAt(press);
        }
    }
    append(call);
}

void InputBacklog::addBar(const Call& call) {
    const int bar = BarOf(call.op);
    const auto sameBar = [&](bool move) {
        return [&call, bar, move](const Call& c) {
            return c.track == call.track && BarOf(c.op) == bar && IsMove(c.op) == move;
        };
    };
    const int set = find(sameBar(false));
    const int moved = find(sameBar(true));
    if (!IsMove(call.op)) {
        if (moved >= 0) {
            removeAt(moved);
        }
        if (const int s = find(sameBar(false)); s >= 0) {
            m_calls[static_cast<std::size_t>(s)].value = call.value;
        } else {
            append(call);
        }
    } else if (set >= 0) {
        m_calls[static_cast<std::size_t>(set)].value += call.value;
    } else if (moved >= 0) {
        m_calls[static_cast<std::size_t>(moved)].value += call.value;
    } else {
        append(call);
    }
}

} // namespace mt
