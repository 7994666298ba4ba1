/* A stand-in card driver library: every entry point the binding looks up, with
   GetNumCards reporting FAKE_NUM_CARDS. FAKE_WITHOUT_EMERGENCY_REBOOT leaves one
   name out. The others return their place in the lookup table, so that a test
   can tell them apart. */
#include <stdint.h>

#define FAKE_EXPORT __attribute__((visibility("default")))
#define FAKE_ENTRY(name, place)                                                                    \
    FAKE_EXPORT int32_t name(void)                                                                 \
    {                                                                                              \
        return place;                                                                              \
    }

FAKE_EXPORT int32_t GetNumCards(void)
{
    return FAKE_NUM_CARDS;
}

FAKE_ENTRY(QueryCardInfo, 2)
FAKE_ENTRY(QueryBARBase, 3)
FAKE_ENTRY(WaitForIRQ, 4)
FAKE_ENTRY(COSWaitForIRQ, 5)
FAKE_ENTRY(WDGHandleIRQ, 6)
FAKE_ENTRY(AbortRequest, 7)
FAKE_ENTRY(CloseCard, 8)
FAKE_ENTRY(WDGInit, 9)
FAKE_ENTRY(WDGSetTimeout, 10)
FAKE_ENTRY(WDGSetResetDuration, 11)
FAKE_ENTRY(WDGPet, 12)
FAKE_ENTRY(WDGReadTemp, 13)
FAKE_ENTRY(WDGReadStatus, 14)
FAKE_ENTRY(WDGStart, 15)
FAKE_ENTRY(WDGStop, 16)
#ifndef FAKE_WITHOUT_EMERGENCY_REBOOT
FAKE_ENTRY(EmergencyReboot, 17)
#endif
FAKE_ENTRY(InPortB, 18)
FAKE_ENTRY(OutPortB, 19)
FAKE_ENTRY(InPort, 20)
FAKE_ENTRY(OutPort, 21)
FAKE_ENTRY(InPortL, 22)
FAKE_ENTRY(OutPortL, 23)
FAKE_ENTRY(InPortDWord, 24)
FAKE_ENTRY(OutPortDWord, 25)
FAKE_ENTRY(RelInPortB, 26)
FAKE_ENTRY(RelOutPortB, 27)
FAKE_ENTRY(RelInPort, 28)
FAKE_ENTRY(RelOutPort, 29)
FAKE_ENTRY(RelInPortL, 30)
FAKE_ENTRY(RelOutPortL, 31)
FAKE_ENTRY(RelInPortDWord, 32)
FAKE_ENTRY(RelOutPortDWord, 33)
