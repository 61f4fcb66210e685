//===- LinkHostIds.h - The labels of the link test host ------------------===//
#pragma once

// The numbers are those of LinkHost.rc.
namespace linkhost {

constexpr int kDialog = 100;
constexpr char kCaption[] = "lexset link labels";

// Each a static of the host's dialog, attached as described beside it.
constexpr int kLeft = 2001;        // left aligned, default colour
constexpr int kCentred = 2002;     // SS_CENTER
constexpr int kRight = 2003;       // SS_RIGHT
constexpr int kMiddle = 2004;      // SS_CENTERIMAGE, three lines tall
constexpr int kTop = 2005;         // three lines tall, no SS_CENTERIMAGE
constexpr int kLong = 2006;        // a text far wider than the label, three lines tall
constexpr int kOwnText = 2007;     // null target: opens its text
constexpr int kEmpty = 2008;       // empty target: opens its text
constexpr int kLongTarget = 2009;  // a target of kLongTargetSize bytes
constexpr int kGreen = 2010;       // colour kGreenColour
constexpr int kNoMemory = 2011;    // attached while the heap refuses: stays plain
constexpr int kMissing = 2099;     // no such control

constexpr int kLongTargetSize = 300;
constexpr unsigned long kGreenColour = 0x008000;

// Dialogs the lifetime run keeps open at once, and rounds it makes.
constexpr int kChurnDialogs = 40;
constexpr int kChurnRounds = 25;

}  // namespace linkhost
