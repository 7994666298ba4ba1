/* A stand-in card driver library: every entry point the binding looks up, with
   GetNumCards reporting FAKE_NUM_CARDS. FAKE_WITHOUT_EMERGENCY_REBOOT leaves one
   name out. The other entry points only need to exist. */
#include <stdint.h>

#define FAKE_EXPORT __attribute__((visibility("default")))
#define FAKE_ENTRY(name)                                                                           \
    FAKE_EXPORT int32_t name(void)                                                                 \
    {                                                                                              \
        return 0;                                                                                  \
    }

FAKE_EXPORT int32_t GetNumCards(void)
{
    return FAKE_NUM_CARDS;
}

FAKE_ENTRY(QueryCardInfo)
FAKE_ENTRY(QueryBARBase)
FAKE_ENTRY(WaitForIRQ)
FAKE_ENTRY(COSWaitForIRQ)
FAKE_ENTRY(WDGHandleIRQ)
FAKE_ENTRY(AbortRequest)
FAKE_ENTRY(CloseCard)
FAKE_ENTRY(WDGInit)
FAKE_ENTRY(WDGSetTimeout)
FAKE_ENTRY(WDGSetResetDuration)
FAKE_ENTRY(WDGPet)
FAKE_ENTRY(WDGReadTemp)
FAKE_ENTRY(WDGReadStatus)
FAKE_ENTRY(WDGStart)
FAKE_ENTRY(WDGStop)
#ifndef FAKE_WITHOUT_EMERGENCY_REBOOT
FAKE_ENTRY(EmergencyReboot)
#endif
FAKE_ENTRY(InPortB)
FAKE_ENTRY(OutPortB)
FAKE_ENTRY(InPort)
FAKE_ENTRY(OutPort)
FAKE_ENTRY(InPortL)
FAKE_ENTRY(OutPortL)
FAKE_ENTRY(InPortDWord)
FAKE_ENTRY(OutPortDWord)
FAKE_ENTRY(RelInPortB)
FAKE_ENTRY(RelOutPortB)
FAKE_ENTRY(RelInPort)
FAKE_ENTRY(RelOutPort)
FAKE_ENTRY(RelInPortL)
FAKE_ENTRY(RelOutPortL)
FAKE_ENTRY(RelInPortDWord)
FAKE_ENTRY(RelOutPortDWord)
