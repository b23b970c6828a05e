#pragma once

#include <array>

// Accelerator table 128: the document and edit commands stay on their keys although the
// window has no menu bar. New, Open, Close, Exit and Cut Selection do something; the others
// have no handler (the document has never anything to save).
namespace tunekiln::accelerators {

enum Modifier { kNone = 0, kCtrl = 1, kShift = 2, kAlt = 4 };
enum Command { kNew, kOpen, kSave, kUndo, kCut, kCopy, kPaste, kNextPane, kPreviousPane, kClose, kExit, kCutSelection };
enum Key { kBack = -1, kDelete = -2, kInsert = -3, kF6 = -4 };  // letters stand for themselves

struct Accelerator {
  int modifiers;
  int key;
  Command command;
};

inline constexpr std::array<Accelerator, 16> kTable{{
    {kCtrl, 'N', kNew},
    {kCtrl, 'O', kOpen},
    {kCtrl, 'S', kSave},
    {kCtrl, 'Z', kUndo},
    {kAlt, kBack, kUndo},
    {kCtrl, 'X', kCut},
    {kShift, kDelete, kCut},
    {kCtrl, 'C', kCopy},
    {kCtrl, kInsert, kCopy},
    {kCtrl, 'V', kPaste},
    {kShift, kInsert, kPaste},
    {kNone, kF6, kNextPane},
    {kShift, kF6, kPreviousPane},
    {kCtrl, 'W', kClose},
    {kCtrl, 'Q', kExit},
    {kCtrl, 'K', kCutSelection},  // the range selected on the waveform, cut
}};

}  // namespace tunekiln::accelerators
