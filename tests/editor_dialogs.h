#ifndef EDITOR_DIALOGS_H
#define EDITOR_DIALOGS_H

// Helpers of the machine and the measurement editor tests, which drive modal dialogs and
// compare the library files the editors write.

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QString>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "tests/test_support.h"

namespace Editor_Dialogs
{
// Runs action on the next modal dialog; a dialog still open afterwards (a failed check) is
// rejected, so that the caller's exec() returns.
inline void On_Next_Dialog(const std::function<void(QDialog*)>& action)
{
  QTimer::singleShot(0,
                     [action]()
                     {
                       QDialog* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                       QVERIFY(dialog);
                       action(dialog);
                       if(dialog->isVisible())
                       {
                         dialog->reject();
                       }
                     });
}

// Whether call brings up a modal dialog; one that comes up is closed at once.
inline bool Opens_Dialog(const std::function<void()>& call)
{
  const auto opened = std::make_shared<bool>(false);
  QTimer::singleShot(0,
                     [opened]()
                     {
                       if(QWidget* modal = QApplication::activeModalWidget())
                       {
                         *opened = true;
                         modal->close();
                       }
                     });
  call();
  QCoreApplication::processEvents();
  return *opened;
}

using Test_Support::Read;

} // namespace Editor_Dialogs

#endif
