#pragma once

// The game started as the player starts it, through the splash.
#include "appcontroller.h"
#include "imagebutton.h"

#include <QtTest>

using mok::AppController;
using mok::frmMain;
using mok::ImageButton;

// Starts the game (with a picture named on the command line, if any) and
// waits until the splash has handed over and the opening banner has
// settled, so Open can be used. Returns the window, or null.
inline frmMain *startAndWaitForOpen(AppController &host, const QString &picture = {})
{
    const auto openEnabled = [&] {
        return host.window() &&
               host.window()->findChild<ImageButton *>(QStringLiteral("imgOpen"))->isEnabled();
    };
    return host.start(picture) && QTest::qWaitFor(openEnabled, 20000) ? host.window() : nullptr;
}
