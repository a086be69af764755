#pragma once

// A classic BPF program written with named jump targets: a jump names a
// label, and Finish() turns the labels into the forward offsets the kernel
// wants.

#include <cstddef>
#include <cstdint>
#include <linux/filter.h>
#include <vector>

class BpfProgram {
  public:
    using Label = size_t;

    Label NewLabel();
    // The next instruction emitted is label's target.
    void Place(Label label);
    void Emit(uint16_t code, uint32_t k = 0);
    // A conditional jump: to yes when the test holds, else to no.
    void Jump(uint16_t code, uint32_t k, Label yes, Label no);
    void Goto(Label target);
    // Throws std::length_error when a conditional jump is too long for its
    // 8-bit offset.
    std::vector<sock_filter> Finish() const;

  private:
    struct PendingJump {
        size_t at;
        Label yes;
        Label no;
    };
    size_t Offset(size_t from, Label to) const;

    std::vector<sock_filter> code_;
    std::vector<size_t> targets_; // instruction index of each label
    std::vector<PendingJump> jumps_;
};
