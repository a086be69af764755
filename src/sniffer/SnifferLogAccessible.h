#pragma once

// What a screen reader reads of the sniffer log: one read-only text, the
// lines joined by "\n", whose selection is the selected lines and whose caret
// is the start of the current line. Appended lines are announced together a
// few times a second, however fast they come.

// Makes every SnifferLog answer with that interface; later calls do nothing.
void InstallSnifferLogAccessible();
