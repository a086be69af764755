#pragma once

// The capture thread's two window messages.
inline constexpr int WM_SNIFFER_LINE = 0x8190;    // wParam: the line's zero-terminated text
inline constexpr int WM_SNIFFER_STOPPED = 0x8191; // the capture has ended
