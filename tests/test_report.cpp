// The calibration report: the --info facts (types, keys left out, non-Latin text), a report number
// that the same inputs give again, the compensation CSV it reads; then varlume-batch report end to
// end, read back with pdftotext as a reader of the PDF would: the sections in order, every row of
// the decision, the report number and "Page x of y" on every page, "End of report" once at the end.

#include <QtTest>

#include <QRegularExpression>

#include <memory>

#include "src/model/calibration/calibration_report.h"
#include "src/model/measurementlibrary.h"
#include "tests/test_support.h"

namespace
{
using Calibration_Report::TInfo;

// The text of the PDF's pages, each page as pdftotext -layout gives it.
QStringList Pdf_Pages(const QString& file_name)
{
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file_name, QStringLiteral("-")});
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
}

// A library with many ISO lines, so that the decision runs over several pages.
void Add_Iso_Lines(const QString& data_path, int count)
{
  TMeasurementLibrary library;
  library.Set_Data_Path(data_path);
  QVERIFY(library.Load_Data());
  for(int i = 0; i < count; ++i)
  {
    auto iso = std::make_unique<TMeasurement_ISO>();
    iso->Initialize();
    iso->d_name = QStringLiteral("Line %1").arg(i + 1, 2, 10, QLatin1Char('0'));
    iso->d_start_x_expression = QStringLiteral("XMin + %1").arg(10 + i);
    iso->d_start_y_expression = QStringLiteral("YMin + 50");
    iso->d_start_z_expression = QStringLiteral("ZMid");
    iso->d_end_x_expression = QStringLiteral("XMax - 50");
    iso->d_end_y_expression = QStringLiteral("YMax - %1").arg(10 + i);
    iso->d_end_z_expression = QStringLiteral("ZMid");
    library.Append_Measurement(std::move(iso));
  }
  QVERIFY(library.Save_Data());
}
} // namespace

class TTestReport : public QObject
{
  Q_OBJECT

private slots:
  // Texts and numbers where the report expects them, a key the report does not know left out
  // with a word, and every wrong type or non-object refused with the file and the key named.
  void Info_data()
  {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    QTest::newRow("facts") << QByteArray(R"({"customer": "株式会社 測定", "temperature_c": 20.5, "colour": "red"})")
                           << QString();
    QTest::newRow("text for a number") << QByteArray(R"({"temperature_c": "20"})")
                                       << QStringLiteral("'info.json': the key 'temperature_c' must be a number");
    QTest::newRow("number for a text") << QByteArray(R"({"operator": 7})")
                                       << QStringLiteral("'info.json': the key 'operator' must be a text");
    QTest::newRow("array") << QByteArray("[1, 2]") << QStringLiteral("'info.json' is not a JSON object");
    QTest::newRow("not JSON") << QByteArray("laboratory: X") << QStringLiteral("'info.json' is not JSON");
  }

  void Info()
  {
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    TInfo info;
    QString message;
    QStringList warnings;
    const bool read = Calibration_Report::Read_Info(json, QStringLiteral("info.json"), &info, &message, &warnings);
    QCOMPARE(read, error.isEmpty());
    QVERIFY2(message.startsWith(error), qPrintable(message));
    if(read)
    {
      QCOMPARE(info.Value("customer"), QStringLiteral("株式会社 測定"));
      QCOMPARE(info.Value("temperature_c"), QStringLiteral("20.5"));
      QVERIFY(!info.Has("operator"));
      QCOMPARE(warnings.size(), 1);
      TInfo again;
      QVERIFY(Calibration_Report::Read_Info(Calibration_Report::Info_Json(info), QStringLiteral("again"), &again,
                                            &message, &warnings));
      QCOMPARE(again.values, info.values);
    }
  }

  // Per form and measurement the largest |deviation| before and after, names with commas kept.
  void Compensation_Rows()
  {
    const QByteArray csv = "form,measurement,kind,row,deviation_before_um,deviation_after_um,xx_before_um\n"
                           "full,\"Line, 1\",iso,1,-3.5,0.25,\n"
                           "full,\"Line, 1\",iso,2,2,-0.5,\n"
                           "pitch,Laser,laser,1,1,1,0\n";
    std::vector<Calibration_Report::TCompensationRow> rows;
    QString error;
    QVERIFY(Calibration_Report::Read_Compensation(csv, QStringLiteral("c.csv"), &rows, &error));
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].measurement, QStringLiteral("Line, 1"));
    QCOMPARE(rows[0].rows, 2);
    QCOMPARE(rows[0].largest_before, 3.5);
    QCOMPARE(rows[0].largest_after, 0.5);
    QVERIFY(!Calibration_Report::Read_Compensation("a,b\n1,2\n", QStringLiteral("c.csv"), &rows, &error));
  }

  void Batch_Report()
  {
    Test_Support::TTemporaryHome home;
    QVERIFY(home.Set_Up(QStringLiteral(VARLUME_TEST_DATA "/../../examples")));
    Add_Iso_Lines(home.Data_Path(), 60);
    const QProcessEnvironment environment = Test_Support::Batch_Environment(home.Path());
    const QString pdf = QDir(home.Output_Path()).filePath(QStringLiteral("report.pdf"));
    const QString info = QDir(home.Output_Path()).filePath(QStringLiteral("info.json"));
    QVERIFY(Test_Support::Write(info, R"({"laboratory": "Laboratoire Métrologie", "operator": "Zoë Müller"})"));
    QStringList arguments = {"report",   "--machine", "Bridge XYZ", "--mpe", "1.5,333,6",
                             "--output", pdf,         "--info",     info};
    for(int i = 0; i < 60; ++i)
    {
      arguments << QStringLiteral("--measurement") << QStringLiteral("Line %1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    Test_Support::TBatchResult run = Test_Support::Run_Batch(arguments, environment);
    QVERIFY2(run.code == 0, run.err.constData());

    const QStringList pages = Pdf_Pages(pdf);
    QVERIFY(pages.size() > 3);
    const QRegularExpression number(QStringLiteral("Calibration report (VR-[0-9]{8}-[0-9A-F]{6})"));
    const QString report_number = number.match(pages.front()).captured(1);
    QVERIFY(!report_number.isEmpty());
    for(int p = 0; p < pages.size(); ++p)
    {
      QVERIFY(pages[p].contains(report_number));
      QVERIFY2(pages[p].contains(QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages.size())), qPrintable(pages[p]));
      QCOMPARE(pages[p].contains(QStringLiteral("End of report")), p + 1 == pages.size());
    }
    const QString all = pages.join(QLatin1Char('\n'));
    int at = 0;
    for(const char* heading : {"Laboratory and customer", "Item calibrated", "Dates, environment and personnel",
                               "The machine", "Method", "Results", "Signatures"})
    {
      const int found = all.indexOf(QLatin1String(heading), at);
      QVERIFY2(found > at, heading);
      at = found;
    }
    QVERIFY(all.contains(QStringLiteral("Laboratoire Métrologie")) && all.contains(QStringLiteral("Zoë Müller")));
    // Every row of the decision, with its numbers as the report prints them; the table's heading
    // row stands on every page the table runs over.
    QCOMPARE(all.count(QRegularExpression(QStringLiteral("Line [0-9]{2} +[1-5] +[0-9]+\\.[0-9]{4} "))), 300);
    QVERIFY(all.count(QStringLiteral("|E|/MPE")) > 1);

    // The same inputs give the same number; a report never replaces one of its inputs.
    QVERIFY(Test_Support::Run_Batch(arguments, environment).code == 0);
    QVERIFY(Pdf_Pages(pdf).front().contains(report_number));
    const QString input = QDir(home.Output_Path()).filePath(QStringLiteral("input.pdf"));
    QVERIFY(QFile::copy(info, input));
    arguments[arguments.indexOf(QStringLiteral("--output")) + 1] = input;
    arguments[arguments.indexOf(QStringLiteral("--info")) + 1] = input;
    run = Test_Support::Run_Batch(arguments, environment);
    QVERIFY(run.code == 2 && run.err.contains("report never replaces what it reads"));
  }
};

QTEST_GUILESS_MAIN(TTestReport)
#include "test_report.moc"
