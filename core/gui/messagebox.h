#ifndef MESSAGEBOX_H
#define MESSAGEBOX_H

#include <QMessageBox>

class QResizeEvent;
class QShowEvent;

// A message box of fixed width whose texts are set in rich text: the main text bold, the
// informative text in normal weight, both 10 point. QMessageBox otherwise sizes itself from the
// text, which makes short messages cramped and long ones very wide.
class TMessageBox : public QMessageBox
{
  Q_OBJECT

public:
  explicit TMessageBox(QWidget* parent = nullptr);

  // Hide QMessageBox's own setters so that every text passes through the rich-text wrapping.
  virtual void setText(const QString& text);
  virtual void setInformativeText(const QString& text);

  int exec() override;

  // Sets every field, so that nothing of an earlier message stays in the box: the title, both
  // texts, no detailed text, the buttons, the default button and the icon.
  void Reset(const QString& title, const QString& text, const QString& informative_text,
             QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button, QMessageBox::Icon icon);

  // Posts a key press and release (no modifiers, no text), to answer or close the box from code.
  void Send_Key(int key);

protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  int d_width;
};

#endif
