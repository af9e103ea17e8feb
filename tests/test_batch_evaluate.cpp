#include <QtTest>

#include <QProcess>

#include <signal.h>
#include <sys/resource.h>

#include <csignal>

#include "tests/evaluation_cases.h"
#include "tests/test_support.h"

namespace
{
using TResult = Test_Support::TBatchResult;

// What stands in the output file before a run, to see whether the run replaces it.
const QByteArray OLDER_EVALUATION("an older evaluation\n");

QStringList Arguments(const QString& data, const QString& machine, const QStringList& measurements,
                      const QString& output)
{
  QStringList arguments = {"evaluate", "--data", data, "--machine", machine};
  for(const QString& measurement : measurements)
  {
    arguments << "--measurement" << measurement;
  }
  if(!output.isEmpty())
  {
    arguments << "--output" << output;
  }
  return arguments;
}

QString Program()
{
  return Test_Support::Batch_Program();
}
} // namespace

class TTestBatchEvaluate : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  // Runs the tool without a display and with a home of its own.
  void Start(QProcess* process, const QStringList& arguments)
  {
    process->setProcessEnvironment(Test_Support::Batch_Environment(d_home.Path()));
    process->start(Program(), arguments);
  }

  TResult Run(const QStringList& arguments)
  {
    return Test_Support::Run_Batch(arguments, Test_Support::Batch_Environment(d_home.Path()));
  }

  QString Output(const char* name) const { return QDir(d_home.Output_Path()).filePath(QLatin1String(name)); }

private slots:
  void initTestCase()
  {
    if(!QFileInfo::exists(Program()))
    {
      QSKIP("varlume-batch is not built");
    }
  }

  // A fresh home, and an empty output folder in it, for every test.
  void init() { QVERIFY(d_home.Set_Up()); }

  // A stored file of the model tests, byte for byte; a stopped evaluation completes its file too
  // and says why on stderr.
  void Stored_Files_data()
  {
    Evaluation_Cases::Add_Columns();
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("err");
    Evaluation_Cases::Add_Row(Evaluation_Cases::Case("ballbars_yxz")) << 0 << QByteArray();
    Evaluation_Cases::Add_Row(Evaluation_Cases::Case("thin_tower"))
        << 1 << QByteArray("varlume-batch: evaluation stopped: Deflection axis range invalid.\n");
  }

  void Stored_Files()
  {
    QFETCH(QString, file);
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(int, code);
    QFETCH(QByteArray, err);
    // An existing file is replaced.
    QVERIFY(Test_Support::Write(Output("evaluation.txt"), OLDER_EVALUATION));

    const TResult result =
        Run(Arguments(Evaluation_Cases::Data_Directory(), machine, measurements, Output("evaluation.txt")));
    QCOMPARE(result.code, code);
    QCOMPARE(result.err, err);
    QCOMPARE(Evaluation_Cases::Read(Output("evaluation.txt")),
             Evaluation_Cases::Read(Evaluation_Cases::Expected_File(file)));
    QCOMPARE(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"evaluation.txt"});
  }

  // A machine that the window cannot select (a geometry that the model refuses, a deflection on
  // an axis that has none) is not evaluated: its errors as map prints them, no file, and an
  // older file stays.
  void Set_Up_Fails_data()
  {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("origin outside") << Evaluation_Cases::Data_Directory() << "Origin Outside"
                                    << QByteArray("first axis math origin not inside axis");
    QTest::newRow("eighteen parameters") << Evaluation_Cases::Version1_Directory() << "Eighteen Parameters"
                                         << QByteArray("Cannot set deflection for not deflection axis");
  }

  void Set_Up_Fails()
  {
    QFETCH(QString, directory);
    QFETCH(QString, machine);
    QFETCH(QByteArray, error);
    QVERIFY(Test_Support::Write(Output("evaluation.txt"), OLDER_EVALUATION));

    const TResult result = Run(Arguments(directory, machine, {"Ball Bar XY"}, Output("evaluation.txt")));
    QCOMPARE(result.code, 1);
    QVERIFY2(result.out.startsWith("Map Initialization Errors\n"), result.out.constData());
    QVERIFY(result.out.contains(error));
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(Evaluation_Cases::Read(Output("evaluation.txt")), OLDER_EVALUATION);
    QCOMPARE(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"evaluation.txt"});
  }

  // A full disk (here a file size limit, which the tool turns into failing writes): the older
  // file stays, nothing else is left behind, and the tool says why.
  void Full_Disk()
  {
    QVERIFY(Test_Support::Write(Output("evaluation.txt"), OLDER_EVALUATION));

    // The limit is inherited by the tool; this process writes nothing while it is set.
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limit = previous;
    limit.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QProcess process;
    Start(&process, Arguments(Evaluation_Cases::Data_Directory(), "Six XZY", Evaluation_Cases::All_Measurements(),
                              Output("evaluation.txt")));
    const bool started = process.waitForStarted();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);
    QVERIFY(started);
    QVERIFY(process.waitForFinished(60000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.startsWith("varlume-batch: cannot write '") && err.contains("File too large"), err.constData());
    QCOMPARE(Evaluation_Cases::Read(Output("evaluation.txt")), OLDER_EVALUATION);
    QCOMPARE(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"evaluation.txt"});
  }

  // Usage errors and unknown names write nothing.
  void Refused_Command_Lines_data()
  {
    const QString data = Evaluation_Cases::Data_Directory();
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("no output") << Arguments(data, "Two XYZ", {"Laser X"}, QString()) << 2
                               << QByteArray("varlume-batch: evaluate needs one --output\n");
    QTest::newRow("no measurement") << Arguments(data, "Two XYZ", {}, "x.txt") << 2
                                    << QByteArray("varlume-batch: evaluate needs at least one --measurement\n");
    QTest::newRow("increments") << (Arguments(data, "Two XYZ", {"Laser X"}, "x.txt") << "--increments"
                                                                                     << "10"
                                                                                     << "10"
                                                                                     << "10")
                                << 2 << QByteArray("varlume-batch: evaluate takes no --increments\n");
    for(const char* jobs : {"0", "-1", "abc"})
    {
      QTest::newRow(qPrintable(QString("--jobs %1").arg(jobs)))
          << (Arguments(data, "Two XYZ", {"Laser X"}, "x.txt") << "--jobs" << jobs) << 2
          << QByteArray("varlume-batch: --jobs: '") + jobs + "' is not a whole number from 1\n";
    }
    QTest::newRow("unknown machine") << Arguments(data, "Three XYZ", {"Laser X"}, "x.txt") << 2
                                     << QByteArray("varlume-batch: no machine named 'Three XYZ'\n");
    QTest::newRow("unknown measurement") << Arguments(data, "Two XYZ", {"Laser X", "Laser Q"}, "x.txt") << 2
                                         << QByteArray("varlume-batch: no measurement named 'Laser Q'\n");
  }

  void Refused_Command_Lines()
  {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QByteArray, err);
    const int output = arguments.indexOf("x.txt");
    if(output >= 0)
    {
      arguments[output] = Output("x.txt");
    }
    const TResult result = Run(arguments);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.startsWith(err), result.err.constData());
    QVERIFY(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  }

  // Any number of threads writes the same file; more than a few per core are not started, and
  // that is said once.
  void Threads()
  {
    for(const char* jobs : {"1", "3", "1000000000"})
    {
      const TResult result = Run(Arguments(Evaluation_Cases::Data_Directory(), "Six XZY",
                                           Evaluation_Cases::All_Measurements(), Output("evaluation.txt"))
                                 << "--jobs" << jobs);
      QCOMPARE(result.code, 0);
      QCOMPARE(result.err.count("are used"), QByteArray(jobs).size() > 2 ? 1 : 0);
      QCOMPARE(Evaluation_Cases::Read(Output("evaluation.txt")),
               Evaluation_Cases::Read(Evaluation_Cases::Expected_File("six_xzy")));
    }
  }

  void Unwritable_File()
  {
    const TResult result =
        Run(Arguments(Evaluation_Cases::Data_Directory(), "Two XYZ", {"Laser X"}, Output("missing/evaluation.txt")));
    QCOMPARE(result.code, 1);
    QVERIFY(result.err.startsWith("varlume-batch: cannot write '"));
  }

  // Ctrl-C ends the sixteen-parameter evaluation after the current pattern: the file is moved
  // into place with whole lines, and no temporary file stays behind.
  void Interrupted()
  {
    QProcess process;
    Start(&process, Arguments(Evaluation_Cases::Data_Directory(), "Sixteen XZY", Evaluation_Cases::All_Measurements(),
                              Output("evaluation.txt")));
    QVERIFY(process.waitForStarted());

    // Lines reach the temporary file only once the evaluation runs, with Ctrl-C handled. The
    // file may have no name yet (O_TMPFILE), so it is found among the open descriptors.
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process.processId()));
    QElapsedTimer timer;
    timer.start();
    bool running = false;
    while(!running && timer.elapsed() < 20000 && process.state() == QProcess::Running)
    {
      for(const QFileInfo& info : descriptors.entryInfoList(QDir::Files | QDir::System))
      {
        running = running || (info.symLinkTarget().startsWith(d_home.Output_Path()) && info.size() > 0);
      }
      QTest::qWait(5);
    }
    QVERIFY(running);
    QVERIFY(process.processId() > 0);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QVERIFY(process.readAllStandardError().startsWith("varlume-batch: interrupted: '"));

    QCOMPARE(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"evaluation.txt"});
    const QByteArray text = Evaluation_Cases::Read(Output("evaluation.txt"));
    QVERIFY(text.endsWith('\n'));
    QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    const int rule = lines.indexOf(QByteArray(Evaluation::RULE_WIDTH, '-'));
    QVERIFY(rule > 0);
    // Whole lines of the first patterns, then the line that says the file stops there.
    const int written = lines.size() - rule - 2;
    QVERIFY(written > 0);
    QVERIFY(written < 65535);
    QCOMPARE(lines.takeLast(), QStringLiteral("Evaluation cancelled: %1 of 65536 patterns").arg(written).toLatin1());
    for(int i = rule + 1; i < lines.size(); ++i)
    {
      QCOMPARE(lines[i].size(), 243);
    }
  }
};

QTEST_GUILESS_MAIN(TTestBatchEvaluate)
#include "test_batch_evaluate.moc"
