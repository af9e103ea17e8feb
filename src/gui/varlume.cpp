#include "src/gui/varlume.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <thread>

#include "core/gui/messagebox.h"
#include "core/gui/windowsize.h"
#include "core/version.h"
#include "src/gui/adddialog.h"
#include "src/gui/compensationdialog.h"
#include "src/gui/displaywidget.h"
#include "src/gui/identifydialog.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/plandialog.h"
#include "src/gui/plotswidget.h"
#include "src/gui/progressdialog.h"
#include "src/gui/quickstart.h"
#include "src/gui/recoverywriter.h"

namespace
{
QToolButton* Create_List_Button(QWidget* parent, const QString& icon, const QString& tool_tip)
{
  QToolButton* button = new QToolButton(parent);
  button->setIcon(QIcon(icon));
  button->setIconSize(QSize(16, 16));
  button->setFixedSize(16, 16);
  button->setAutoRaise(true);
  button->setToolTip(tool_tip);
  return button;
}

QDockWidget* Create_List_Dock(QMainWindow* window, const QString& title, const QString& object_name, QListWidget* list,
                              const QList<QToolButton*>& buttons)
{
  QDockWidget* dock = new QDockWidget(title, window);
  dock->setObjectName(object_name);
  dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);

  QWidget* contents = new QWidget(dock);
  QVBoxLayout* layout = new QVBoxLayout(contents);
  layout->setSpacing(4);
  layout->setContentsMargins(4, 4, 4, 4);
  list->setParent(contents);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Every row is one line of text: the list need not measure tens of thousands of rows one by
  // one to lay them out.
  list->setUniformItemSizes(true);
  // A narrowed window takes its width from the output area, not from the lists.
  list->setMinimumWidth(160);
  layout->addWidget(list);

  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->setSpacing(4);
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  for(QToolButton* button : buttons)
  {
    button->setParent(contents);
    button_layout->addWidget(button);
  }
  layout->addLayout(button_layout);

  dock->setWidget(contents);
  window->addDockWidget(Qt::LeftDockWidgetArea, dock);
  return dock;
}
} // namespace

TVarlume::TVarlume(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), d_progress_dialog(nullptr), d_add_dialog(nullptr), d_message_box(nullptr),
      d_cancel_evaluation(false), d_evaluation_running(false), d_close_pending(false)
{
  // The images are compiled into a static library; make sure they are registered.
  Q_INIT_RESOURCE(varlume);

  Resize_Within_Screen(this, QSize(1101, 750));

  QDir data_directory(QDir::homePath());
  if(!data_directory.exists(QStringLiteral(".varlume")))
  {
    data_directory.mkdir(QStringLiteral(".varlume"));
  }
  // Never fall back to the home directory itself when the folder could not be made: the
  // libraries then fail to load and save instead of landing beside the user's own files.
  d_data_path = QDir::cleanPath(data_directory.absoluteFilePath(QStringLiteral(".varlume")));
  if(d_data_path.endsWith(QLatin1Char('/')) && d_data_path.size() > 1)
  {
    d_data_path.chop(1);
  }

  Lock_Data_Folder();
  Setup_Central_Widget();

  d_machine_dialog = new TMachineDialog(this);
  d_measurement_dialog = new TMeasurementDialog(this);
  d_machine_dialog->Set_Data_Path(d_data_path);
  d_measurement_dialog->Set_Data_Path(d_data_path);

  QAction* about_action = Setup_Actions();
  Setup_Menus(about_action);
  Setup_Docks();
  Setup_Tool_Bar(about_action);

  Load_Libraries();

  setWindowTitle(d_read_only ? tr("Varlume (read-only)") : tr("Varlume"));
  statusBar();
  setWindowIcon(QIcon(QStringLiteral(":/images/varlume.png")));

  Update_Machine_Names();
  Enable_Machine_Controls(false, false);
  Enable_Measurement_Controls(false, false);
  d_message_box = new TMessageBox(this);
  Update_Measurement_Names();

  Setup_Connections(about_action);

  Enable_Library_Editing(!d_read_only);
  Restore_Settings();
  Offer_Recovery();
  if(d_read_only)
  {
    // Once the window is up, not in the middle of building it.
    QTimer::singleShot(0, this, &TVarlume::Explain_Read_Only);
  }
}

bool TVarlume::eventFilter(QObject* watched, QEvent* event)
{
  const int key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event)->key() : 0;
  if((key == Qt::Key_Return || key == Qt::Key_Enter) && (watched == d_machine_list || watched == d_measurement_list))
  {
    // Not the Return that ends a rename in place, which reaches the list too.
    QListWidget* list = static_cast<QListWidget*>(watched);
    const QLineEdit* editor = list->viewport()->findChild<QLineEdit*>();
    if(!editor || !editor->isVisible())
    {
      if(list->selectedItems().size() == 1 && !d_read_only)
      {
        watched == d_machine_list ? Edit_Machine() : Edit_Measurement();
      }
      return true;
    }
  }
  if(event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete))
  {
    if(watched == d_machine_list)
    {
      Remove_Machine();
      return true;
    }
    if(watched == d_measurement_list)
    {
      Remove_Measurement();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TVarlume::Lock_Data_Folder()
{
  d_lock = std::make_unique<QLockFile>(QDir(d_data_path).filePath(QStringLiteral("varlume.lock")));
  // Held for as long as the window is open; only a lock whose process has ended is stale.
  d_lock->setStaleLockTime(0);
  if(d_lock->tryLock(0) || d_lock->error() != QLockFile::LockFailedError)
  {
    // A folder that cannot take a lock file cannot take the libraries either: that failure is
    // reported when they are saved.
    return;
  }
  d_read_only = true;
  qint64 pid = 0;
  QString host;
  QString application;
  if(d_lock->getLockInfo(&pid, &host, &application))
  {
    d_lock_holder = tr("process %1 on %2").arg(pid).arg(host);
  }
}

QString TVarlume::Settings_File() const
{
  // Beside the libraries: one place per data folder, and tests that move HOME keep their own.
  return QDir(d_data_path).filePath(QStringLiteral("varlume.conf"));
}

void TVarlume::Restore_Settings()
{
  const QSettings settings(Settings_File(), QSettings::IniFormat);
  restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
  restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
  d_display_widget->Set_Map_Increment_Texts(settings.value(QStringLiteral("map/increments")).toStringList());
  d_display_widget->Set_Results_Directory(settings.value(QStringLiteral("directories/results")).toString());
  d_export_directory = settings.value(QStringLiteral("directories/export")).toString();
}

void TVarlume::Save_Settings() const
{
  QSettings settings(Settings_File(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("window/state"), saveState());
  settings.setValue(QStringLiteral("map/increments"), d_display_widget->Map_Increment_Texts());
  settings.setValue(QStringLiteral("directories/results"), d_display_widget->Results_Directory());
  settings.setValue(QStringLiteral("directories/export"), d_export_directory);
}

void TVarlume::Explain_Read_Only()
{
  QMessageBox* box =
      new QMessageBox(QMessageBox::Information, tr("Varlume (read-only)"),
                      tr("Another Varlume window is using the data folder %1%2.")
                          .arg(QDir::toNativeSeparators(d_data_path),
                               d_lock_holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(d_lock_holder)),
                      QMessageBox::Ok, this);
  box->setInformativeText(tr("This window shows the machines and measurements read-only: they cannot be changed "
                             "here and nothing is saved when it closes. Close the other window and start "
                             "Varlume again to make changes."));
  box->setObjectName(QStringLiteral("read_only_message"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  Show_Status(tr("Read-only: another window is using the data folder."));
}

void TVarlume::Update_Notice()
{
  if(d_read_only)
  {
    d_notice->setText(tr("Read-only: another window is using the data folder, and nothing here is saved."));
    return;
  }
  QString step;
  if(d_machine_list->count() == 0)
  {
    step = tr("Start by adding a machine (File > Add Machine, or + under Machines) with its travel and error "
              "parameters.");
  }
  else if(d_measurement_list->count() == 0)
  {
    step = tr("Add a measurement (File > Add Measurement, or + under Measurements) to simulate a test on a "
              "machine.");
  }
  else if(d_machine_list->selectedItems().size() != 1)
  {
    step = tr("Select one machine, then the measurements to simulate on it.");
  }
  else if(d_measurement_list->selectedItems().isEmpty())
  {
    step = tr("Select the measurements to simulate on \"%1\".").arg(d_machine_list->selectedItems().front()->text());
  }
  else
  {
    step = tr("Click a part in the 3-D view for its row; the Plots tab charts the results.");
  }
  d_notice->setText(step + QLatin1Char(' ') + tr("Libraries are saved when Varlume closes."));
}

void TVarlume::Show_Status(const QString& text)
{
  statusBar()->showMessage(text);
}

void TVarlume::Report_Rename(const QString& kind, const QString& typed, const QString& stored)
{
  if(stored != typed.simplified())
  {
    Show_Status(tr("The name \"%1\" is in use: the %2 was named \"%3\".").arg(typed.simplified(), kind, stored));
  }
}

TVarlume::~TVarlume()
{
  // A window destroyed without closing (as by a crash) still leaves the changes kept so far.
  d_recovery_writer.reset();
  // The lists' models report their rows going away while the base class deletes the children.
  for(QListWidget* list : {d_machine_list, d_measurement_list})
  {
    list->model()->disconnect(this);
    list->selectionModel()->disconnect(this);
  }
}

void TVarlume::Release_For_Exit()
{
  d_recovery_writer.reset();
  d_lock.reset();
}

void TVarlume::Setup_Central_Widget()
{
  QFont notice_font(QStringLiteral("Verdana"), 8);
  notice_font.setItalic(true);

  QWidget* central = new QWidget(this);
  QGridLayout* layout = new QGridLayout(central);

  d_display_widget = new TDisplayWidget(central);
  // Measured files on the conformity page are matched to the library's records by name.
  d_display_widget->Plots_Widget()->Set_Library_Records(
      [this]()
      {
        const std::vector<TMeasurement*> all = d_measurement_dialog->Library().All_Measurements();
        return std::vector<const TMeasurement*>(all.begin(), all.end());
      });
  layout->addWidget(d_display_widget, 0, 0);

  QHBoxLayout* bottom_layout = new QHBoxLayout();
  d_notice = new QLabel(central);
  d_notice->setFont(notice_font);
  // Wraps rather than holding the window wide.
  d_notice->setWordWrap(true);
  d_notice->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  bottom_layout->addWidget(d_notice, 1);
  QLabel* logo = new QLabel(central);
  logo->setMinimumSize(100, 40);
  logo->setMaximumSize(100, 40);
  logo->setPixmap(QPixmap(QStringLiteral(":/images/logo.png")));
  bottom_layout->addWidget(logo);
  layout->addLayout(bottom_layout, 1, 0);

  setCentralWidget(central);
}

QAction* TVarlume::Setup_Actions()
{
  const auto create = [this](const QString& icon, const QString& text, const QString& tool_tip)
  {
    QAction* action = icon.isEmpty() ? new QAction(text, this) : new QAction(QIcon(icon), text, this);
    if(!tool_tip.isEmpty())
    {
      action->setToolTip(tool_tip);
    }
    return action;
  };

  d_add_machine_action =
      create(QStringLiteral(":/toolbar/add_machine_32x32.png"), tr("Add Machine"), tr("Add a new machine"));
  d_edit_machine_action =
      create(QStringLiteral(":/toolbar/edit_machine_32x32.png"), tr("Edit Machine"), tr("Edit the selected machine"));
  d_remove_machine_action = create(QStringLiteral(":/toolbar/remove_machine_32x32.png"), tr("Remove Machine"),
                                   tr("Remove the selected machines"));
  d_add_measurement_action =
      create(QStringLiteral(":/toolbar/add_measurement_32x32.png"), tr("Add Measurement"), tr("Add a new measurement"));
  d_edit_measurement_action = create(QStringLiteral(":/toolbar/edit_measurement_32x32.png"), tr("Edit Measurement"),
                                     tr("Edit the selected measurement"));
  d_remove_measurement_action = create(QStringLiteral(":/toolbar/remove_measurement_32x32.png"),
                                       tr("Remove Measurement"), tr("Remove the selected measurement"));
  d_identify_action = new QAction(TIdentifyDialog::Command_Icon(), tr("Identify Errors..."), this);
  d_identify_action->setToolTip(tr("Identify a machine's errors from measured data files"));
  d_plan_action = new QAction(TPlanDialog::Command_Icon(), tr("Plan Tests..."), this);
  d_plan_action->setToolTip(tr("Plan which measurements identify a machine's errors, in which order"));
  d_report_action = new QAction(tr("Export Report..."), this);
  d_report_action->setToolTip(tr("Write the calibration report of the active machine and the selected measurements "
                                 "as a PDF"));
  d_compensation_action = new QAction(TCompensationDialog::Command_Icon(), tr("Compensation..."), this);
  d_compensation_action->setToolTip(tr("Build the corrections a controller loads from a machine's errors and show "
                                       "what each leaves behind"));
  d_quit_action = create(QString(), tr("Quit"), QString());
  d_quit_action->setShortcut(QKeySequence::Quit);

  // Kept until the window closes; the texts name the change ("Undo Rename Machine").
  d_undo_stack = new QUndoStack(this);
  d_undo_action = d_undo_stack->createUndoAction(this, tr("Undo"));
  d_undo_action->setShortcut(QKeySequence::Undo);
  d_redo_action = d_undo_stack->createRedoAction(this, tr("Redo"));
  // The platform's redo keys and both common ones, each once: a key listed twice is ambiguous
  // and does nothing.
  QList<QKeySequence> redo_keys = QKeySequence::keyBindings(QKeySequence::Redo);
  for(const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
  {
    if(!redo_keys.contains(key))
    {
      redo_keys.push_back(key);
    }
  }
  d_redo_action->setShortcuts(redo_keys);

  return create(QStringLiteral(":/toolbar/about_32x32.png"), tr("About"), QString());
}

void TVarlume::Setup_Menus(QAction* about_action)
{
  QMenu* file_menu = menuBar()->addMenu(tr("&File"));
  file_menu->addAction(d_add_machine_action);
  file_menu->addAction(d_add_measurement_action);
  file_menu->addSeparator();
  file_menu->addAction(d_report_action);
  file_menu->addSeparator();
  file_menu->addAction(d_quit_action);

  QMenu* edit_menu = menuBar()->addMenu(tr("&Edit"));
  edit_menu->addAction(d_undo_action);
  edit_menu->addAction(d_redo_action);
  edit_menu->addSeparator();
  edit_menu->addAction(d_edit_machine_action);
  edit_menu->addAction(d_edit_measurement_action);
  edit_menu->addSeparator();
  edit_menu->addAction(d_remove_machine_action);
  edit_menu->addAction(d_remove_measurement_action);

  // The work of a calibration, apart from the editing of the libraries.
  QMenu* calibration_menu = menuBar()->addMenu(tr("&Calibration"));
  calibration_menu->addAction(d_identify_action);
  calibration_menu->addAction(d_plan_action);
  calibration_menu->addAction(d_compensation_action);

  // Filled by Setup_Docks with the docks' own show/hide actions.
  QMenu* view_menu = menuBar()->addMenu(tr("&View"));
  view_menu->setObjectName(QStringLiteral("view_menu"));

  QMenu* help_menu = menuBar()->addMenu(tr("&Help"));
  QAction* quick_start_action = help_menu->addAction(tr("Quick Start"));
  quick_start_action->setShortcut(QKeySequence::HelpContents);
  connect(quick_start_action, &QAction::triggered, this, [this]() { Quick_Start::Show(this); });
  help_menu->addAction(about_action);
}

void TVarlume::Setup_Docks()
{
  d_machine_list = new QListWidget();
  d_add_machine_button = Create_List_Button(this, QStringLiteral(":/gui/add_16x16.png"), tr("Add a new machine"));
  d_remove_machine_button =
      Create_List_Button(this, QStringLiteral(":/gui/remove_16x16.png"), tr("Remove the selected machines"));
  d_edit_machine_button =
      Create_List_Button(this, QStringLiteral(":/gui/edit_16x16.png"), tr("Edit the selected machine"));
  d_identify_machine_button = Create_List_Button(this, QString(), d_identify_action->toolTip());
  d_identify_machine_button->setIcon(d_identify_action->icon());
  d_plan_machine_button = Create_List_Button(this, QString(), d_plan_action->toolTip());
  d_plan_machine_button->setIcon(d_plan_action->icon());
  QDockWidget* machine_dock = Create_List_Dock(this, tr("Machines"), QStringLiteral("machine_dock"), d_machine_list,
                                               {d_plan_machine_button, d_identify_machine_button, d_add_machine_button,
                                                d_remove_machine_button, d_edit_machine_button});

  d_measurement_list = new QListWidget();
  d_add_measurement_button =
      Create_List_Button(this, QStringLiteral(":/gui/add_16x16.png"), tr("Add a new measurement"));
  d_remove_measurement_button =
      Create_List_Button(this, QStringLiteral(":/gui/remove_16x16.png"), tr("Remove the selected measurement"));
  d_edit_measurement_button =
      Create_List_Button(this, QStringLiteral(":/gui/edit_16x16.png"), tr("Edit the selected measurement"));
  QDockWidget* measurement_dock =
      Create_List_Dock(this, tr("Measurements"), QStringLiteral("measurement_dock"), d_measurement_list,
                       {d_add_measurement_button, d_remove_measurement_button, d_edit_measurement_button});

  QMenu* view_menu = menuBar()->findChild<QMenu*>(QStringLiteral("view_menu"));
  view_menu->addAction(machine_dock->toggleViewAction());
  view_menu->addAction(measurement_dock->toggleViewAction());
}

void TVarlume::Setup_Tool_Bar(QAction* about_action)
{
  QToolBar* tool_bar = new QToolBar(tr("Tool Bar"), this);
  tool_bar->setObjectName(QStringLiteral("tool_bar"));
  tool_bar->setIconSize(QSize(32, 32));
  tool_bar->addAction(d_add_machine_action);
  tool_bar->addAction(d_remove_machine_action);
  tool_bar->addAction(d_edit_machine_action);
  tool_bar->addSeparator();
  tool_bar->addAction(d_add_measurement_action);
  tool_bar->addAction(d_remove_measurement_action);
  tool_bar->addAction(d_edit_measurement_action);
  tool_bar->addSeparator();
  tool_bar->addAction(about_action);
  addToolBar(Qt::TopToolBarArea, tool_bar);
}

void TVarlume::Setup_Connections(QAction* about_action)
{
  connect(d_add_machine_action, &QAction::triggered, this, &TVarlume::Add_Machine);
  connect(d_add_machine_button, &QToolButton::clicked, this, &TVarlume::Add_Machine);
  connect(d_identify_action, &QAction::triggered, this, &TVarlume::Identify_Errors);
  connect(d_identify_machine_button, &QToolButton::clicked, this, &TVarlume::Identify_Errors);
  connect(d_plan_action, &QAction::triggered, this, &TVarlume::Plan_Tests);
  connect(d_compensation_action, &QAction::triggered, this, &TVarlume::Compensate);
  connect(d_report_action, &QAction::triggered, this, &TVarlume::Export_Report);
  connect(d_plan_machine_button, &QToolButton::clicked, this, &TVarlume::Plan_Tests);
  connect(d_remove_machine_action, &QAction::triggered, this, &TVarlume::Remove_Machine);
  connect(d_remove_machine_button, &QToolButton::clicked, this, &TVarlume::Remove_Machine);
  connect(d_edit_machine_action, &QAction::triggered, this, &TVarlume::Edit_Machine);
  connect(d_edit_machine_button, &QToolButton::clicked, this, &TVarlume::Edit_Machine);

  connect(d_add_measurement_action, &QAction::triggered, this, &TVarlume::Add_Measurement);
  connect(d_add_measurement_button, &QToolButton::clicked, this, &TVarlume::Add_Measurement);
  connect(d_remove_measurement_action, &QAction::triggered, this, &TVarlume::Remove_Measurement);
  connect(d_remove_measurement_button, &QToolButton::clicked, this, &TVarlume::Remove_Measurement);
  connect(d_edit_measurement_action, &QAction::triggered, this, &TVarlume::Edit_Measurement);
  connect(d_edit_measurement_button, &QToolButton::clicked, this, &TVarlume::Edit_Measurement);

  // Delete removes, Enter edits (the event filter); F2 and a double click rename, as in a file
  // manager.
  d_machine_list->installEventFilter(this);
  d_measurement_list->installEventFilter(this);

  connect(d_quit_action, &QAction::triggered, this, &QWidget::close);
  connect(about_action, &QAction::triggered, this, &TVarlume::Help_About);

  // The lists are refilled with their own signals held back; their models still report, once
  // per row: the notice follows once the refill is done.
  const auto schedule_notice = [this]()
  {
    if(!d_notice_pending)
    {
      d_notice_pending = true;
      QTimer::singleShot(0, this,
                         [this]()
                         {
                           d_notice_pending = false;
                           Update_Notice();
                         });
    }
  };
  for(QListWidget* list : {d_machine_list, d_measurement_list})
  {
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, schedule_notice);
    connect(list->model(), &QAbstractItemModel::rowsRemoved, this, schedule_notice);
    connect(list->model(), &QAbstractItemModel::modelReset, this, schedule_notice);
    connect(list->model(), &QAbstractItemModel::dataChanged, this, schedule_notice);
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, schedule_notice);
  }
  Update_Notice();
  connect(d_machine_list, &QListWidget::itemSelectionChanged, this, &TVarlume::Machine_Selection_Changed);
  connect(d_measurement_list, &QListWidget::itemSelectionChanged, this, &TVarlume::Measurement_Selection_Changed);
  connect(d_machine_list->itemDelegate(), &QAbstractItemDelegate::commitData, this, &TVarlume::Rename_Machine);
  connect(d_measurement_list->itemDelegate(), &QAbstractItemDelegate::commitData, this, &TVarlume::Rename_Measurement);

  connect(d_measurement_dialog, &TMeasurementDialog::Update_Measurement_Display, this,
          &TVarlume::Update_Measurement_Display);

  connect(d_display_widget, &TDisplayWidget::Item_Selected, this, &TVarlume::Display_Selected_Item);
  connect(d_display_widget, &TDisplayWidget::Export_Measurements, this, &TVarlume::Export_Measurements);
  connect(d_display_widget, &TDisplayWidget::Evaluate_Measurements, this, &TVarlume::Evaluate_Measurements);
  connect(d_display_widget, &TDisplayWidget::Update_Map_Display, this, &TVarlume::Update_Map_Display);
  connect(d_display_widget, &TDisplayWidget::Status_Message, this, &TVarlume::Show_Status);
}

void TVarlume::Load_Libraries()
{
  // Both at once: on two cores a large pair of libraries opens in about half the time. The
  // reading is the model's alone and touches no widget.
  bool machines_loaded = false;
  std::thread machines([this, &machines_loaded]() { machines_loaded = d_machine_dialog->Load_Data(); });
  const bool measurements_loaded = d_measurement_dialog->Load_Data();
  machines.join();

  // A missing file is a first start; a file that is there but did not load explains an empty
  // or short list, so its message goes where the user looks, and into a message box that
  // says what happens to the file.
  QStringList failures;
  const auto report = [&](bool loaded, const QString& file_name, const QStringList& errors)
  {
    if((loaded && errors.isEmpty()) || !(QFileInfo::exists(file_name) || QFileInfo(file_name).isSymLink()))
    {
      return;
    }
    for(const QString& error : errors)
    {
      d_display_widget->Add_Selection_Data_Line(error);
    }
    QString fate = tr("It is not a regular file and will not be replaced.");
    if(d_read_only)
    {
      fate = tr("The list holds what could be read; this window saves nothing, so the file stays as it is.");
    }
    else if(QFileInfo(file_name).isFile())
    {
      fate = tr("The list holds what could be read. The original file is kept as '%1.bak' (or '.bak.N' beside an "
                "older copy) when the library is next saved.")
                 .arg(file_name);
    }
    QStringList escaped;
    for(const QString& error : errors)
    {
      escaped.push_back(error.toHtmlEscaped());
    }
    failures.push_back(tr("<p><b>%1</b></p><p>%2</p><p>%3</p>")
                           .arg(file_name.toHtmlEscaped(), escaped.join(QStringLiteral("<br>")), fate.toHtmlEscaped()));
  };
  // A part left out of a record (a covariance that is none) is reported as a failed load is.
  QStringList machine_errors = d_machine_dialog->Load_Warnings();
  if(!machines_loaded)
  {
    machine_errors.push_front(d_machine_dialog->Last_Error());
  }
  report(machines_loaded, d_machine_dialog->File_Name(), machine_errors);
  report(measurements_loaded, d_measurement_dialog->File_Name(),
         measurements_loaded ? QStringList() : QStringList{d_measurement_dialog->Last_Error()});
  if(failures.isEmpty())
  {
    return;
  }
  d_display_widget->Add_Selection_Data_End();
  // Opened once the window is up, and without a nested event loop.
  QMessageBox* box =
      new QMessageBox(QMessageBox::Warning, tr("Varlume"), tr("A library could not be loaded."), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setTextFormat(Qt::RichText);
  box->setInformativeText(failures.join(QString()));
  // Paths and error texts are long; the default width wraps them into a narrow column.
  box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 480px; }"));
  QTimer::singleShot(0, box, [box]() { box->open(); });
}

void TVarlume::Enable_Library_Editing(bool enabled)
{
  for(QAction* action : {d_add_machine_action, d_add_measurement_action})
  {
    action->setEnabled(enabled);
  }
  for(QToolButton* button : {d_add_machine_button, d_add_measurement_button})
  {
    button->setEnabled(enabled);
  }
  for(QListWidget* list : {d_machine_list, d_measurement_list})
  {
    // Not on a click on the selected row: that is how rows are picked, not renamed.
    list->setEditTriggers(enabled ? QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked
                                  : QAbstractItemView::NoEditTriggers);
  }
}

void TVarlume::Enable_Machine_Controls(bool remove, bool edit)
{
  remove = remove && !d_read_only;
  edit = edit && !d_read_only;
  d_remove_machine_action->setEnabled(remove);
  d_remove_machine_button->setEnabled(remove);
  d_edit_machine_action->setEnabled(edit);
  d_edit_machine_button->setEnabled(edit);
}

void TVarlume::Enable_Measurement_Controls(bool remove, bool edit)
{
  remove = remove && !d_read_only;
  edit = edit && !d_read_only;
  d_remove_measurement_action->setEnabled(remove);
  d_remove_measurement_button->setEnabled(remove);
  d_edit_measurement_action->setEnabled(edit);
  d_edit_measurement_button->setEnabled(edit);
}

void TVarlume::Help_About()
{
  d_message_box->Reset(tr("About Varlume"), tr("Varlume"),
                       tr("Varlume - Version %1").arg(QLatin1String(VARLUME_VERSION)), QMessageBox::Ok, QMessageBox::Ok,
                       QMessageBox::Information);
  d_message_box->exec();
}

void TVarlume::Begin_Evaluation()
{
  d_evaluation_running = true;
  d_cancel_evaluation = false;
  // The evaluation works on the libraries' records: no undo may replace them meanwhile.
  d_undo_action->setEnabled(false);
  d_redo_action->setEnabled(false);
}

void TVarlume::End_Evaluation()
{
  d_evaluation_running = false;
  d_undo_action->setEnabled(d_undo_stack->canUndo());
  d_redo_action->setEnabled(d_undo_stack->canRedo());
  if(d_close_pending)
  {
    d_close_pending = false;
    // After the evaluation's slot has returned, not from inside it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void TVarlume::closeEvent(QCloseEvent* event)
{
  // A read-only window says that it saves nothing: its settings neither.
  if(d_read_only && !d_evaluation_running)
  {
    event->accept();
    return;
  }
  // The evaluation processes events between its steps, so a close can arrive in the middle of
  // it; closing then would pull the window away under the running loop.
  if(d_evaluation_running)
  {
    d_cancel_evaluation = true;
    d_close_pending = true;
    event->ignore();
    return;
  }

  // A library that cannot be written would lose the session's changes without a word; let the
  // user keep the window open, fix the cause and close again (the libraries stay modified).
  QStringList errors;
  if(!d_machine_dialog->Save_Data())
  {
    errors.push_back(d_machine_dialog->Last_Error());
  }
  if(!d_measurement_dialog->Save_Data())
  {
    errors.push_back(d_measurement_dialog->Last_Error());
  }
  if(!errors.isEmpty() && !Confirm_Close_Without_Saving(errors))
  {
    event->ignore();
    return;
  }
  // Saved: nothing left to recover. Closed without saving: the changes stay for the next start.
  if(errors.isEmpty())
  {
    Remove_Recovery();
  }
  Save_Settings();
  event->accept();
}

bool TVarlume::Confirm_Close_Without_Saving(const QStringList& errors)
{
  QStringList lines;
  for(const QString& error : errors)
  {
    lines.push_back(error.toHtmlEscaped());
  }
  d_message_box->Reset(tr("Varlume"), tr("Your changes could not be saved."), lines.join(QStringLiteral("<br>")),
                       QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Warning);
  d_message_box->button(QMessageBox::Discard)->setText(tr("Close Without Saving"));
  return d_message_box->exec() == QMessageBox::Discard;
}
