// Recovery of unsaved library changes. The libraries are written when the window closes; a
// crash, a power cut or a killed process would lose everything changed since the start. So each
// change also keeps the changed library in "<data>/unsaved/", a clean close removes that folder,
// and a window that finds it at start (the last one ended without closing) offers the changes
// back. The library files themselves are still written only when the window closes.
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
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

// The library file as it is on disk, to tell later whether it changed under the kept copy.
QByteArray File_Hash(const QString& file_name)
{
  QFile file(file_name);
  if(!file.open(QIODevice::ReadOnly))
  {
    return QByteArray("none");
  }
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

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
  bool kept = QDir().mkpath(QFileInfo(file_name).absolutePath());
  // The library file is not written before the window closes, so the file of the first change
  // is the one that the kept copy is based on.
  const QString base_name = file_name + QStringLiteral(".base");
  if(kept && !QFileInfo::exists(base_name))
  {
    kept = SafeFile::Write_File(base_name, File_Hash(Library_File(library)), &error);
  }
  if(!kept || !SafeFile::Write_File(file_name, snapshot, &error))
  {
    Show_Status(tr("Unsaved changes could not be kept for recovery: %1").arg(error));
  }
}

QString TVarlume::Library_File(TLibrary library) const
{
  return library == LIBRARY_MACHINES ? d_machine_dialog->File_Name() : d_measurement_dialog->File_Name();
}

void TVarlume::Remove_Recovery()
{
  // Not while the user has yet to answer whether to restore them.
  if(d_read_only || d_recovery_pending)
  {
    return;
  }
  for(const TLibrary library : {LIBRARY_MACHINES, LIBRARY_MEASUREMENTS})
  {
    QFile::remove(Recovery_File(library));
    QFile::remove(Recovery_File(library) + QStringLiteral(".base"));
  }
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
  QStringList changed_since;
  QDateTime last_kept;
  for(const TLibrary library : {LIBRARY_MACHINES, LIBRARY_MEASUREMENTS})
  {
    const QString file_name = Recovery_File(library);
    QFile file(file_name);
    if(!file.open(QIODevice::ReadOnly))
    {
      continue;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    // Changes that were undone back to the saved state are nothing to restore.
    if(bytes == Library_Snapshot(library))
    {
      continue;
    }
    // Never deleted unread: set aside for whoever can read it (a newer version, say).
    if(!Loads(library == LIBRARY_MACHINES, bytes))
    {
      const QString aside = file_name + QStringLiteral(".bad");
      QFile::remove(aside);
      QFile::rename(file_name, aside);
      Show_Status(
          tr("Kept unsaved changes that could not be read were set aside as %1.").arg(QDir::toNativeSeparators(aside)));
      continue;
    }
    const QString name = library == LIBRARY_MACHINES ? tr("the machines") : tr("the measurements");
    kept.emplace_back(library, bytes);
    names.push_back(name);
    QFile base(file_name + QStringLiteral(".base"));
    if(base.open(QIODevice::ReadOnly) && base.readAll() != File_Hash(Library_File(library)))
    {
      changed_since.push_back(name);
    }
    const QDateTime written = QFileInfo(file_name).lastModified();
    last_kept = last_kept.isValid() && last_kept > written ? last_kept : written;
  }
  if(kept.empty())
  {
    Remove_Recovery();
    return;
  }
  QString text = tr("Changes to %1 made in that session (last at %2) were not saved, but kept. Restore them? "
                    "Discard keeps the libraries as they were last saved.")
                     .arg(names.join(tr(" and ")), QLocale().toString(last_kept, QLocale::ShortFormat));
  if(!changed_since.isEmpty())
  {
    text += QStringLiteral("\n\n") +
            tr("The library file of %1 has been saved since then, from elsewhere: restoring replaces that "
               "version (Undo brings it back).")
                .arg(changed_since.join(tr(" and ")));
  }
  d_recovery_pending = true;

  QMessageBox* box = new QMessageBox(QMessageBox::Question, tr("Varlume"),
                                     tr("Varlume did not close normally last time."), QMessageBox::NoButton, this);
  box->setObjectName(QStringLiteral("recovery_box"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setInformativeText(text);
  QPushButton* restore = box->addButton(tr("Restore"), QMessageBox::AcceptRole);
  box->addButton(QMessageBox::Discard);
  box->setDefaultButton(restore);
  connect(box, &QMessageBox::finished, this,
          [this, box, restore, kept]()
          {
            d_recovery_pending = false;
            if(box->clickedButton() == restore)
            {
              for(const std::pair<TLibrary, QByteArray>& entry : kept)
              {
                const QByteArray before = Library_Snapshot(entry.first);
                // From now on the kept copy is based on the file as this window loaded it.
                QFile::remove(Recovery_File(entry.first) + QStringLiteral(".base"));
                Restore_Library(entry.first, entry.second);
                Record_Change(entry.first, tr("Restore Unsaved Changes"), before);
              }
              Show_Status(tr("The unsaved changes of the last session were restored."));
            }
            else if(box->clickedButton() == box->button(QMessageBox::Discard))
            {
              Remove_Recovery();
            }
            // Gone unanswered (the window closed under it): kept for the next start.
          });
  // Once the window is up, and without a nested event loop.
  QTimer::singleShot(0, box, [box]() { box->open(); });
}
