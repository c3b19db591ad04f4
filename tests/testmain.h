#pragma once

#include "decode_helper.h"

#include <QtTest>

// For test programs that open pictures through the game's windows: like the
// game, such a program starts itself as its decoding helper, so the tests
// decode the way the player's pictures are decoded.
#define MOK_TEST_MAIN(TestObject)                                                                  \
    QTEST_MAIN_WRAPPER(TestObject, if (mok::picture::isDecodeHelperCall(                           \
                                           argc, argv)) return mok::picture::runDecodeHelper();    \
                       QTEST_MAIN_SETUP())
