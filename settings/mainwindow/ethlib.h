// Run-time binding of the Ethernet device library, loaded by name.
#pragma once

#include "qorethw.h"

#include <QString>
#include <QStringList>

class QLibrary;

struct EthLibrary
{
    QLibrary *handle = nullptr; // the bound library; null when not bound
    QEW_Connect_t QEW_Connect = nullptr;
    QEW_Disconnect_t QEW_Disconnect = nullptr;
    QEW_GetStatus_t QEW_GetStatus = nullptr;
    QEW_GetStatusEx_t QEW_GetStatusEx = nullptr;
    QEW_ChangeNetworking_t QEW_ChangeNetworking = nullptr;
    QEW_DEB_StrToStr_t QEW_DEB_StrToStr = nullptr;

    bool bound() const { return handle != nullptr; }
};

// The places the library is looked for, in order: the program's own library folder
// (<appdir>/../lib, and the install tree's library folder when that differs), the program's
// folder, then the system's search by plain name; in each place "libQORETHW.so.1" before
// "QORETHW". dlopen of a plain name ignores the program's RUNPATH, hence the explicit folders.
QStringList EthLibCandidates();

// Replaces the folders searched before the plain name; with system false the plain-name search
// is left out as well. For tests that bring their own library.
void SetEthLibFolders(const QStringList &folders, bool system);
void ResetEthLibFolders();

// Loads the first candidate that loads and resolves the six entry points. The library is bound
// when connect, disconnect, change-networking and the raw exchange are all there and at least one
// of the two status functions; otherwise it is released and the result is unbound. A bound
// library stays loaded until the process ends.
EthLibrary BindEthLibrary();
