#ifndef ADDDIALOG_H
#define ADDDIALOG_H

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the name of a new machine or measurement; the caller reads Name() after an accepted
// exec(). Reset before every use so that no name or text of the last use carries over.
class TAddDialog : public QDialog
{
  Q_OBJECT

public:
  enum TType
  {
    TYPE_MACHINE = 0,
    TYPE_MEASUREMENT
  };

  explicit TAddDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  // Empties the field, disables "Add", and remembers the kind and the names already in use.
  void Reset(TType type, const QStringList& names);

  // The text as typed, not trimmed.
  QString Name() const;

public slots:
  void Name_Changed(const QString& text);

private:
  QLabel* d_name_label;
  QLineEdit* d_name_edit;
  // Why "Add" is disabled; empty while it is enabled.
  QLabel* d_reason_label;
  QPushButton* d_add_button;
  TType d_type;
  QStringList d_names;
};

#endif
