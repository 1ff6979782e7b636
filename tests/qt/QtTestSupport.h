// What the window tests share: an offscreen application per test, waiting on the event loop,
// and finding a control by the name a screen reader gives it.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace cryvan_test {

// One application per test: a static one would outlive what Qt tears down at exit.
struct OffscreenApplication {
    int argc = 1;
    char name[8] = "test_qt";
    char* argv[2] = {name, nullptr};
    bool platform = qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application{argc, argv};
};

// Turns the event loop until `done` holds or about ten seconds pass.
template <class Done>
bool WaitFor(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

// A visible control by its accessible name: a masked field and its open twin share a name and
// a place, and only one shows.
template <class T>
T* Control(QWidget* root, const QString& name) {
    for (T* widget : root->findChildren<T*>())
        if (widget->isVisible() && widget->accessibleName() == name)
            return widget;
    return nullptr;
}

}  // namespace cryvan_test
