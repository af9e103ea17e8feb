#include "core/gui/messagebox.h"

#include <QCoreApplication>
#include <QKeyEvent>

TMessageBox::TMessageBox(QWidget* parent) : QMessageBox(parent), d_width(500)
{
  setTextFormat(Qt::RichText);
  setStyleSheet(QStringLiteral("dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;"));
}

void TMessageBox::setText(const QString& text)
{
  QMessageBox::setText(
      QStringLiteral("<span style=\"font-size:10pt; font-weight:600; color:#000000;\" >%1</span>").arg(text));
}

void TMessageBox::setInformativeText(const QString& text)
{
  QMessageBox::setInformativeText(
      QStringLiteral("<span style=\"font-size:10pt; font-weight:400; color:#000000;\" >%1</span>").arg(text));
}

void TMessageBox::Reset(const QString& title, const QString& text, const QString& informative_text,
                        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button,
                        QMessageBox::Icon icon)
{
  setWindowTitle(title);
  setText(text);
  setInformativeText(informative_text);
  setDetailedText(QString());
  setStandardButtons(buttons);
  setDefaultButton(default_button);
  setIcon(icon);
}

int TMessageBox::exec()
{
  return QMessageBox::exec();
}

void TMessageBox::Send_Key(int key)
{
  QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
  QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

void TMessageBox::showEvent(QShowEvent* event)
{
  QMessageBox::showEvent(event);
  setFixedWidth(d_width);
}

void TMessageBox::resizeEvent(QResizeEvent* event)
{
  QMessageBox::resizeEvent(event);
  setFixedWidth(d_width);
}
