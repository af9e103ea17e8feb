#include "src/gui/quickstart.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "core/gui/windowsize.h"

namespace Quick_Start
{
QString Section(const QString& readme)
{
  const QString heading = QStringLiteral("## Using Varlume");
  const QStringList lines = readme.split(QLatin1Char('\n'));
  int begin = -1;
  for(int index = 0; index < lines.size(); ++index)
  {
    if(lines.at(index).trimmed() == heading)
    {
      begin = index;
      break;
    }
  }
  if(begin < 0)
  {
    return QString();
  }
  int end = begin + 1;
  bool in_code = false;
  for(; end < lines.size(); ++end)
  {
    const QString& line = lines.at(end);
    // A "## " inside a code block is a shell comment, not the next section.
    if(line.startsWith(QLatin1String("```")))
    {
      in_code = !in_code;
    }
    if(!in_code && (line.startsWith(QLatin1String("## ")) || line.startsWith(QLatin1String("# "))))
    {
      break;
    }
  }
  QStringList section = lines.mid(begin, end - begin);
  // The page's title is the window's: "Quick Start" above the README's words.
  section[0] = QStringLiteral("# Quick Start");
  while(!section.isEmpty() && section.back().trimmed().isEmpty())
  {
    section.removeLast();
  }
  return section.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void Show(QWidget* parent)
{
  static QPointer<QDialog> open;
  if(open)
  {
    open->show();
    open->raise();
    open->activateWindow();
    return;
  }
  QFile file(QStringLiteral(":/help/README.md"));
  const QString readme = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();

  QDialog* dialog = new QDialog(parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName(QStringLiteral("quick_start"));
  dialog->setWindowTitle(QObject::tr("Quick Start"));
  QTextBrowser* browser = new QTextBrowser(dialog);
  browser->setOpenExternalLinks(true);
  const QString section = Section(readme);
  browser->setMarkdown(section.isEmpty() ? QObject::tr("The guide is not built into this program: see README.md.")
                                         : section);
  QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  QVBoxLayout* layout = new QVBoxLayout(dialog);
  layout->addWidget(browser);
  layout->addWidget(buttons);
  Resize_Within_Screen(dialog, QSize(760, 640));
  open = dialog;
  dialog->show();
}
} // namespace Quick_Start
