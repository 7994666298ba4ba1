#include "llqorwdm.h"

#include <QLibrary>

namespace LLQORWDM {

namespace {

const char *const Names[EntryPointCount] = {
    "GetNumCards",
    "QueryCardInfo",
    "QueryBARBase",
    "WaitForIRQ",
    "COSWaitForIRQ",
    "WDGHandleIRQ",
    "AbortRequest",
    "CloseCard",
    "WDGInit",
    "WDGSetTimeout",
    "WDGSetResetDuration",
    "WDGPet",
    "WDGReadTemp",
    "WDGReadStatus",
    "WDGStart",
    "WDGStop",
    "EmergencyReboot",
    "InPortB",
    "OutPortB",
    "InPort",
    "OutPort",
    "InPortL",
    "OutPortL",
    "InPortDWord",
    "OutPortDWord",
    "RelInPortB",
    "RelOutPortB",
    "RelInPort",
    "RelOutPort",
    "RelInPortL",
    "RelOutPortL",
    "RelInPortDWord",
    "RelOutPortDWord",
};

QFunctionPointer Slots[EntryPointCount] = {};
bool Loaded = false;
int Attempts = 0;

} // namespace

void BindCardDriver()
{
    if (Loaded)
        return;
    ++Attempts;
    // The platform adds prefix and suffix and searches the usual places. A
    // QLibrary going out of scope leaves the library loaded, as intended:
    // it is never released.
    QLibrary library(QStringLiteral("QORWDM"));
    if (!library.load())
        return;
    bool all = true;
    for (int i = 0; i < EntryPointCount; ++i) {
        Slots[i] = library.resolve(Names[i]);
        all = all && Slots[i];
    }
    Loaded = all;
}

bool CardDriverLoaded()
{
    return Loaded;
}

const char *EntryPointName(EntryPoint entry)
{
    return entry >= 0 && entry < EntryPointCount ? Names[entry] : "";
}

QFunctionPointer EntryPointSlot(EntryPoint entry)
{
    return entry >= 0 && entry < EntryPointCount ? Slots[entry] : nullptr;
}

TGetNumCards GetNumCardsSlot()
{
    return reinterpret_cast<TGetNumCards>(Slots[epGetNumCards]);
}

qint32 InstalledCardCount()
{
    const TGetNumCards getNumCards = GetNumCardsSlot();
    return getNumCards ? getNumCards() : 0;
}

int LoadAttempts()
{
    return Attempts;
}

} // namespace LLQORWDM
