#include "BpfProgram.h"

#include <stdexcept>

namespace {

constexpr size_t kUnplaced = SIZE_MAX;

} // namespace

BpfProgram::Label BpfProgram::NewLabel() {
    targets_.push_back(kUnplaced);
    return targets_.size() - 1;
}

void BpfProgram::Place(Label label) {
    targets_.at(label) = code_.size();
}

void BpfProgram::Emit(uint16_t code, uint32_t k) {
    code_.push_back(sock_filter{code, 0, 0, k});
}

void BpfProgram::Jump(uint16_t code, uint32_t k, Label yes, Label no) {
    jumps_.push_back({code_.size(), yes, no});
    Emit(code, k);
}

void BpfProgram::Goto(Label target) {
    jumps_.push_back({code_.size(), target, target});
    Emit(BPF_JMP | BPF_JA);
}

// Jumps only go forward, to a label placed by then.
size_t BpfProgram::Offset(size_t from, Label to) const {
    const size_t target = targets_.at(to);
    if (target == kUnplaced || target <= from)
        throw std::logic_error("BPF jump to an unplaced or earlier label");
    return target - from - 1;
}

std::vector<sock_filter> BpfProgram::Finish() const {
    std::vector<sock_filter> code = code_;
    for (const PendingJump& jump : jumps_) {
        sock_filter& instruction = code[jump.at];
        if (BPF_OP(instruction.code) == BPF_JA) {
            instruction.k = static_cast<uint32_t>(Offset(jump.at, jump.yes));
            continue;
        }
        const size_t yes = Offset(jump.at, jump.yes);
        const size_t no = Offset(jump.at, jump.no);
        if (yes > UINT8_MAX || no > UINT8_MAX)
            throw std::length_error("BPF conditional jump beyond 255 instructions");
        instruction.jt = static_cast<uint8_t>(yes);
        instruction.jf = static_cast<uint8_t>(no);
    }
    return code;
}
