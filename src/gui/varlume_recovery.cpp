// Recovery of unsaved library changes. The libraries are written when the window closes; a
// crash, a power cut or a killed process would lose everything changed since the start. So each
// change also keeps the changed library in "<data>/unsaved/", a clean close removes that folder,
// and a window that finds it at start (the last one ended without closing) offers the changes
// back. The library files themselves are still written only when the window closes.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <utility>
#include <vector>

#include "core/safefile.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/varlume.h"
#include "src/model/measurementlibrary.h"

namespace
{
const char* const UNSAVED_FOLDER = "unsaved";

// A snapshot that loads whole; a damaged one must not replace a library record by record.
bool Loads(bool machines, const QByteArray& bytes)
{
  if(machines)
  {
    TMachineLibrary library;
    return library.Load_Data(bytes);
  }
  TMeasurementLibrary library;
  return library.Load_Data(bytes);
}
} // namespace

QString TVarlume::Recovery_File(TLibrary library) const
{
  return QDir(d_data_path)
      .filePath(QStringLiteral("%1/%2").arg(QLatin1String(UNSAVED_FOLDER), library == LIBRARY_MACHINES
                                                                               ? QStringLiteral("machines.xml")
                                                                               : QStringLiteral("measurements.xml")));
}

void TVarlume::Keep_For_Recovery(TLibrary library, const QByteArray& snapshot)
{
  if(d_read_only || snapshot.isEmpty())
  {
    return;
  }
  const QString file_name = Recovery_File(library);
  QString error;
  if(!QDir().mkpath(QFileInfo(file_name).absolutePath()) || !SafeFile::Write_File(file_name, snapshot, &error))
  {
    Show_Status(tr("Unsaved changes could not be kept for recovery: %1").arg(error));
  }
}

void TVarlume::Remove_Recovery()
{
  if(d_read_only)
  {
    return;
  }
  QFile::remove(Recovery_File(LIBRARY_MACHINES));
  QFile::remove(Recovery_File(LIBRARY_MEASUREMENTS));
  QDir(d_data_path).rmdir(QLatin1String(UNSAVED_FOLDER));
}

void TVarlume::Offer_Recovery()
{
  if(d_read_only)
  {
    return;
  }
  std::vector<std::pair<TLibrary, QByteArray>> kept;
  QStringList names;
  for(const TLibrary library : {LIBRARY_MACHINES, LIBRARY_MEASUREMENTS})
  {
    QFile file(Recovery_File(library));
    if(!file.open(QIODevice::ReadOnly))
    {
      continue;
    }
    const QByteArray bytes = file.readAll();
    // Changes that were undone back to the saved state are nothing to restore.
    if(bytes == Library_Snapshot(library) || !Loads(library == LIBRARY_MACHINES, bytes))
    {
      continue;
    }
    kept.emplace_back(library, bytes);
    names.push_back(library == LIBRARY_MACHINES ? tr("the machines") : tr("the measurements"));
  }
  if(kept.empty())
  {
    Remove_Recovery();
    return;
  }

  QMessageBox* box = new QMessageBox(QMessageBox::Question, tr("Varlume"),
                                     tr("Varlume did not close normally last time."), QMessageBox::NoButton, this);
  box->setObjectName(QStringLiteral("recovery_box"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setInformativeText(tr("Changes to %1 made in that session were not saved, but kept. Restore them? "
                             "Discard keeps the libraries as they were last saved.")
                              .arg(names.join(tr(" and "))));
  QPushButton* restore = box->addButton(tr("Restore"), QMessageBox::AcceptRole);
  box->addButton(QMessageBox::Discard);
  box->setDefaultButton(restore);
  connect(box, &QMessageBox::finished, this,
          [this, box, restore, kept]()
          {
            if(box->clickedButton() == restore)
            {
              for(const std::pair<TLibrary, QByteArray>& entry : kept)
              {
                const QByteArray before = Library_Snapshot(entry.first);
                Restore_Library(entry.first, entry.second);
                Record_Change(entry.first, tr("Restore Unsaved Changes"), before);
              }
              Show_Status(tr("The unsaved changes of the last session were restored."));
            }
            else if(box->clickedButton() == box->button(QMessageBox::Discard))
            {
              Remove_Recovery();
            }
            // Closed otherwise (Escape): asked again next time, unless this session's changes
            // replace what was kept.
          });
  // Once the window is up, and without a nested event loop.
  QTimer::singleShot(0, box, [box]() { box->open(); });
}
