#pragma once

#include <QtGlobal>

// Run-time binding of the PCI card driver library "QORWDM". Nothing links
// against it: it is loaded by name the first time a caller asks, and stays
// loaded until the process ends.
namespace LLQORWDM {

// The entry points, in lookup order.
enum EntryPoint {
    epGetNumCards,
    epQueryCardInfo,
    epQueryBARBase,
    epWaitForIRQ,
    epCOSWaitForIRQ,
    epWDGHandleIRQ,
    epAbortRequest,
    epCloseCard,
    epWDGInit,
    epWDGSetTimeout,
    epWDGSetResetDuration,
    epWDGPet,
    epWDGReadTemp,
    epWDGReadStatus,
    epWDGStart,
    epWDGStop,
    epEmergencyReboot,
    epInPortB,
    epOutPortB,
    epInPort,
    epOutPort,
    epInPortL,
    epOutPortL,
    epInPortDWord,
    epOutPortDWord,
    epRelInPortB,
    epRelOutPortB,
    epRelInPort,
    epRelOutPort,
    epRelInPortL,
    epRelOutPortL,
    epRelInPortDWord,
    epRelOutPortDWord,
    EntryPointCount
};

// Number of cards the driver knows; 0 or less means none.
using TGetNumCards = qint32 (*)();

// Loads the library and looks up every entry point; returns at once when
// all of them were found before. Safe to call repeatedly.
void BindCardDriver();

// True once all entry points have been found.
bool CardDriverLoaded();

const char *EntryPointName(EntryPoint entry);

// The slot of an entry point: null until the name has been found. Only
// GetNumCards has a signature the system relies on; the others are raw.
QFunctionPointer EntryPointSlot(EntryPoint entry);
TGetNumCards GetNumCardsSlot();

// The cards the driver reports, or 0 when the library or the entry point
// is not there.
qint32 InstalledCardCount();

// How often BindCardDriver has tried to load the library (for diagnostics).
int LoadAttempts();

} // namespace LLQORWDM
