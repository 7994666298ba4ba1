#include "llqorwdm.h"

#include <QTest>

#include <dlfcn.h>

#include <iterator>

using namespace LLQORWDM;

namespace {

// What the library on this run's search path offers.
struct Expectation
{
    bool present = false;
    qint32 cards = 0;
    bool withoutEmergencyReboot = false;
};

Expectation expectation()
{
    const QByteArray which = qgetenv("FAKE_QORWDM_CASE");
    if (which == "full")
        return {true, 2, false};
    if (which == "noreboot")
        return {true, 5, true};
    if (which == "three")
        return {true, 3, false};
    return {};
}

// The driver's entry points in lookup order.
const char *const TableOrder[] = {
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

bool libraryStillLoaded()
{
    void *handle = dlopen("libQORWDM.so", RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

class TestCardDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void beforeBindingNothingIsLoaded();
    void bindFillsTheSlotsOfTheNamesFound();
    void bindLoadedOnlyWhenAllNamesFound();
    void cardCountComesFromGetNumCardsWhenPresent();
    void secondBindReturnsAtOnceOnlyWhenLoaded();
    void libraryIsNeverReleased();

private:
    Expectation m_expect;
};

void TestCardDriver::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("FAKE_QORWDM_CASE"), "run through CTest");
    m_expect = expectation();
}

void TestCardDriver::beforeBindingNothingIsLoaded()
{
    QVERIFY(!CardDriverLoaded());
    QCOMPARE(LoadAttempts(), 0);
    for (int i = 0; i < EntryPointCount; ++i)
        QVERIFY(!EntryPointSlot(EntryPoint(i)));
    QVERIFY(!libraryStillLoaded());
}

void TestCardDriver::bindFillsTheSlotsOfTheNamesFound()
{
    BindCardDriver();
    QCOMPARE(int(EntryPointCount), int(std::size(TableOrder)));
    void *library = dlopen("libQORWDM.so", RTLD_LAZY | RTLD_NOLOAD);
    QCOMPARE(library != nullptr, m_expect.present);
    for (int i = 0; i < EntryPointCount; ++i) {
        QCOMPARE(QByteArray(EntryPointName(EntryPoint(i))), QByteArray(TableOrder[i]));
        const bool expected =
            m_expect.present && !(m_expect.withoutEmergencyReboot && i == epEmergencyReboot);
        QVERIFY2(bool(EntryPointSlot(EntryPoint(i))) == expected, TableOrder[i]);
        // Each slot holds the library's function of that name.
        if (expected) {
            QVERIFY2(reinterpret_cast<void *>(EntryPointSlot(EntryPoint(i))) ==
                         dlsym(library, TableOrder[i]),
                     TableOrder[i]);
            // The stand-ins other than GetNumCards answer with their place in the table.
            if (i != epGetNumCards)
                QCOMPARE(reinterpret_cast<qint32 (*)()>(EntryPointSlot(EntryPoint(i)))(), i + 1);
        }
    }
    if (library)
        dlclose(library);
}

void TestCardDriver::bindLoadedOnlyWhenAllNamesFound()
{
    QCOMPARE(CardDriverLoaded(), m_expect.present && !m_expect.withoutEmergencyReboot);
}

void TestCardDriver::cardCountComesFromGetNumCardsWhenPresent()
{
    QCOMPARE(bool(GetNumCardsSlot()), m_expect.present);
    QCOMPARE(InstalledCardCount(), m_expect.cards);
}

void TestCardDriver::secondBindReturnsAtOnceOnlyWhenLoaded()
{
    const int before = LoadAttempts();
    QCOMPARE(before, 1);
    BindCardDriver();
    QCOMPARE(LoadAttempts(), CardDriverLoaded() ? before : before + 1);
    // A repeated bind changes nothing the caller sees.
    QCOMPARE(CardDriverLoaded(), m_expect.present && !m_expect.withoutEmergencyReboot);
    QCOMPARE(InstalledCardCount(), m_expect.cards);
}

void TestCardDriver::libraryIsNeverReleased()
{
    QCOMPARE(libraryStillLoaded(), m_expect.present);
}

QTEST_GUILESS_MAIN(TestCardDriver)
#include "tst_carddriver.moc"
