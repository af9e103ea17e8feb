// Recovery of unsaved library changes. The libraries are written when the window closes; a
// crash, a power cut or a killed process would lose everything changed since the start. So each
// change also keeps the changed library in "<data>/unsaved/", a clean close removes that folder,
// and a window that finds it at start (the last one ended without closing) offers the changes
// back. The library files themselves are still written only when the window closes.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/safefile.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/recoverywriter.h"
#include "src/gui/varlume.h"
#include "src/model/measurementlibrary.h"

namespace
{
const char* const UNSAVED_FOLDER = "unsaved";

// What a kept file holds. Only a regular file is opened, never through a link and never
// blocking (a FIFO put there would stop the window from starting).
enum class TKept
{
  MISSING,
  READ,
  UNREADABLE // problem says why
};

TKept Read_Kept(const QString& file_name, QByteArray* bytes, QString* problem)
{
  const QByteArray path = QFile::encodeName(file_name);
  struct stat status;
  if(::lstat(path.constData(), &status) != 0)
  {
    if(errno == ENOENT)
    {
      return TKept::MISSING;
    }
    *problem = qt_error_string(errno);
    return TKept::UNREADABLE;
  }
  if(S_ISLNK(status.st_mode))
  {
    *problem = QStringLiteral("it is a symbolic link");
    return TKept::UNREADABLE;
  }
  if(!S_ISREG(status.st_mode))
  {
    *problem = QStringLiteral("it is not a regular file");
    return TKept::UNREADABLE;
  }
  const int handle = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if(handle < 0)
  {
    *problem = qt_error_string(errno);
    return TKept::UNREADABLE;
  }
  // Replaced by something else since the look above.
  if(::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode))
  {
    ::close(handle);
    *problem = QStringLiteral("it is not a regular file");
    return TKept::UNREADABLE;
  }
  QFile file;
  if(!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
  {
    ::close(handle);
    *problem = file.errorString();
    return TKept::UNREADABLE;
  }
  *bytes = file.readAll();
  if(file.error() != QFileDevice::NoError)
  {
    *problem = file.errorString();
    return TKept::UNREADABLE;
  }
  return TKept::READ;
}

// Why "<data>/unsaved" may not be used: a link (its files would be those of another folder) or
// not a folder. Empty when it is a folder or not there.
QString Folder_Problem(const QString& folder)
{
  struct stat status;
  if(::lstat(QFile::encodeName(folder).constData(), &status) != 0 || S_ISDIR(status.st_mode))
  {
    return QString();
  }
  return S_ISLNK(status.st_mode) ? QStringLiteral("it is a symbolic link") : QStringLiteral("it is not a folder");
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

// A kept file that cannot be read, moved to "<file>.bad". The note for the status bar; left when
// it could not be moved.
QString Set_Aside(const QString& file_name, const QString& problem, bool* left)
{
  const QString aside = file_name + QStringLiteral(".bad");
  // A rename moves a link or a FIFO itself, never what it points to, and replaces an older
  // file set aside.
  *left = ::rename(QFile::encodeName(file_name).constData(), QFile::encodeName(aside).constData()) != 0;
  if(!*left)
  {
    return QCoreApplication::translate("TVarlume",
                                       "Kept unsaved changes in %1 could not be read (%2) and were set aside as %3.")
        .arg(QDir::toNativeSeparators(file_name), problem, QDir::toNativeSeparators(aside));
  }
  return QCoreApplication::translate(
             "TVarlume", "Kept unsaved changes in %1 could not be read (%2); they are left as they are, and this "
                         "window keeps no changes there.")
      .arg(QDir::toNativeSeparators(file_name), problem);
}

// The question of the recovery box: the libraries kept (names), when, and which of their files
// were saved since from elsewhere.
QString Recovery_Text(const QStringList& names, const QDateTime& last_kept, const QStringList& changed_since)
{
  QString text =
      QCoreApplication::translate(
          "TVarlume", "Changes to %1 made in that session (last at %2) were not saved, but kept. Restore them? "
                      "Discard keeps the libraries as they were last saved.")
          .arg(names.join(QCoreApplication::translate("TVarlume", " and ")),
               QLocale().toString(last_kept, QLocale::ShortFormat));
  if(!changed_since.isEmpty())
  {
    text += QStringLiteral("\n\n") +
            QCoreApplication::translate(
                "TVarlume", "The library file of %1 has been saved since then, from elsewhere: restoring replaces that "
                            "version (Undo brings it back).")
                .arg(changed_since.join(QCoreApplication::translate("TVarlume", " and ")));
  }
  return text;
}
} // namespace

QString TVarlume::Recovery_File(TLibrary library) const
{
  return QDir(d_data_path)
      .filePath(QStringLiteral("%1/%2").arg(QLatin1String(UNSAVED_FOLDER), library == LIBRARY_MACHINES
                                                                               ? QStringLiteral("machines.xml")
                                                                               : QStringLiteral("measurements.xml")));
}

QString TVarlume::Recovery_Folder() const
{
  return QDir(d_data_path).filePath(QLatin1String(UNSAVED_FOLDER));
}

void TVarlume::Keep_For_Recovery(TLibrary library, std::function<QByteArray()> snapshot)
{
  if(d_read_only)
  {
    return;
  }
  const QString folder_problem = Folder_Problem(Recovery_Folder());
  if(d_recovery_refused || !folder_problem.isEmpty())
  {
    Show_Status(tr("Unsaved changes are not kept for recovery: %1 is not used (%2).")
                    .arg(QDir::toNativeSeparators(Recovery_Folder()),
                         folder_problem.isEmpty() ? tr("it holds kept changes that cannot be read") : folder_problem));
    return;
  }
  if(!d_recovery_writer)
  {
    QPointer<TVarlume> window(this);
    d_recovery_writer = std::make_unique<TRecoveryWriter>(
        [window](const QString& error)
        {
          QMetaObject::invokeMethod(
              window,
              [window, error]()
              {
                if(window)
                {
                  window->Show_Status(tr("Unsaved changes could not be kept for recovery: %1").arg(error));
                }
              },
              Qt::QueuedConnection);
        });
  }
  d_recovery_writer->Post({Recovery_File(library), Library_File(library), std::move(snapshot)});
}

void TVarlume::Keep_For_Recovery(TLibrary library, const QByteArray& snapshot)
{
  if(!snapshot.isEmpty())
  {
    Keep_For_Recovery(library, [snapshot]() { return snapshot; });
  }
}

QString TVarlume::Library_File(TLibrary library) const
{
  return library == LIBRARY_MACHINES ? d_machine_dialog->File_Name() : d_measurement_dialog->File_Name();
}

void TVarlume::Remove_Recovery()
{
  // Nothing may be written there after this.
  if(d_recovery_writer)
  {
    d_recovery_writer->Finish(true);
  }
  // Not while the user has yet to answer whether to restore them, and never in a folder that is
  // not this data folder's own.
  if(d_read_only || d_recovery_pending || d_recovery_refused || !Folder_Problem(Recovery_Folder()).isEmpty())
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
  const QString folder_problem = Folder_Problem(Recovery_Folder());
  if(!folder_problem.isEmpty())
  {
    d_recovery_refused = true;
    Show_Status(
        tr("%1 is not used for unsaved changes: %2.").arg(QDir::toNativeSeparators(Recovery_Folder()), folder_problem));
    return;
  }
  QStringList notes;
  for(const TLibrary library : {LIBRARY_MACHINES, LIBRARY_MEASUREMENTS})
  {
    const QString file_name = Recovery_File(library);
    QByteArray bytes;
    QString problem;
    const TKept state = Read_Kept(file_name, &bytes, &problem);
    if(state == TKept::MISSING)
    {
      continue;
    }
    // Changes that were undone back to the saved state are nothing to restore.
    if(state == TKept::READ && bytes == Library_Snapshot(library))
    {
      continue;
    }
    // Never deleted unread: set aside for whoever can read it (another user, a newer version).
    if(state == TKept::UNREADABLE || !Loads(library == LIBRARY_MACHINES, bytes))
    {
      bool left = false;
      notes << Set_Aside(file_name, problem.isEmpty() ? tr("it does not load") : problem, &left);
      d_recovery_refused = d_recovery_refused || left;
      continue;
    }
    const QString name = library == LIBRARY_MACHINES ? tr("the machines") : tr("the measurements");
    kept.emplace_back(library, bytes);
    names.push_back(name);
    QByteArray base;
    if(Read_Kept(file_name + QStringLiteral(".base"), &base, &problem) == TKept::READ &&
       base != TRecoveryWriter::File_Hash(Library_File(library)))
    {
      changed_since.push_back(name);
    }
    const QDateTime written = QFileInfo(file_name).lastModified();
    last_kept = last_kept.isValid() && last_kept > written ? last_kept : written;
  }
  if(!notes.isEmpty())
  {
    Show_Status(notes.join(QLatin1Char(' ')));
  }
  if(kept.empty())
  {
    Remove_Recovery();
    return;
  }
  const QString text = Recovery_Text(names, last_kept, changed_since);
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
                if(d_recovery_writer)
                {
                  d_recovery_writer->Finish(false);
                }
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
