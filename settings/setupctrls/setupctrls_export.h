#pragma once

#include <QtGlobal>

// What a guide built against libsetupctrls may use; everything else in the library stays hidden.
#if defined(SETUPCTRLS_LIBRARY)
#define SETUPCTRLS_EXPORT Q_DECL_EXPORT
#else
#define SETUPCTRLS_EXPORT Q_DECL_IMPORT
#endif
