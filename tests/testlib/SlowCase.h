#pragma once
// Size-and-limit cases take seconds each. The quick run skips them; CTest
// runs them on their own under the label "slow" (`ctest -LE slow` leaves
// them out, `ctest -L slow` runs only them).
#include <QTest>

#define QUILLMAR_SLOW_CASE()                                                                                           \
    do {                                                                                                               \
        if (!qEnvironmentVariableIsSet("QUILLMAR_SLOW"))                                                               \
            QSKIP("a size-and-limit case: it runs under the CTest label slow");                                        \
    } while (false)
