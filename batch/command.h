#ifndef BATCH_COMMAND_H
#define BATCH_COMMAND_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"

class QCommandLineParser;

// What every subcommand of varlume-batch sees. The table of subcommands and the table of options
// are in batch.cpp; a subcommand is one entry there (TCommand) with its two functions in a file
// of its own, an option is one entry (TOption) that the subcommand reads with Value or Values.
namespace Batch
{
// The parsed command line.
struct TArguments
{
  const QCommandLineParser* parser = nullptr;
  QStringList machine_names;     // every --machine
  QStringList measurement_names; // every --measurement
  QStringList increments;        // the three texts after --increments, or none

  // Every value of an option of the option table, by its name without dashes.
  QStringList Values(const QString& option) const;
  // The last value of an option, or an empty text.
  QString Value(const QString& option) const;
};

// Both library files of the data directory, read once before a subcommand runs.
struct TLibraries
{
  TMachineLibrary machines;
  TMeasurementLibrary measurements;
};

// Where a subcommand writes: out for its result, err for messages.
struct TOutput
{
  QByteArray* out;
  QByteArray* err;

  // "varlume-batch: <text>" and a line feed on err, as every message of the tool.
  void Message(const QString& text) const;
  // A usage error: the message and the hint to --help, or to "COMMAND --help" when command is
  // given. Returns EXIT_USAGE.
  int Usage(const QString& text, const char* command = nullptr) const;
  // A pane's text as the window's "Save Text" writes it (Latin-1), then one line feed.
  void Pane(const QStringList& lines) const;
};

// Which names the driver looks up in the libraries before the subcommand runs; an unknown one
// ends with "no machine named ..." or "no measurement named ..." and EXIT_USAGE.
enum class TNames
{
  NONE,                    // the subcommand takes no names
  MACHINE_AND_MEASUREMENTS // the one --machine, then every --measurement in order
};

struct TCommand
{
  const char* name;
  // The line of the command list in --help; a line feed starts an indented continuation line.
  const char* summary;
  TNames names;
  // The usage problem of the command line, or an empty text; runs before the libraries are read.
  QString (*usage_error)(const TArguments& arguments);
  // Runs the subcommand with the names already looked up. Returns the exit code.
  int (*run)(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
  // Whether this command line draws with widgets and so needs a QApplication instead of a
  // QCoreApplication; null for never.
  bool (*needs_widgets)(const TArguments& arguments);
};

struct TOption
{
  const char* name; // without dashes
  const char* description;
  const char* value_name;
  // The subcommands that take it, separated by blanks; null for every subcommand. Given to
  // another one, it is a usage error.
  const char* commands;
};

// The data directory of the command line: --data, or ~/.varlume.
QString Data_Path(const TArguments& arguments);

// Whether the two names are one file: the same path, the same path through linked folders or a
// link, or two hard links of one file.
bool Same_File(const QString& first, const QString& second);

// Why the subcommand command may not write file_name: it is, links to or is another name (a
// hard link) of machines.xml or measurements.xml of the data directory in use or of
// ~/.varlume, which the tool only reads. Empty when it may be written. Every subcommand that
// writes a file checks each of its outputs with it in its usage check (exit 2).
QString Library_Output_Problem(const QString& command, const TArguments& arguments, const QString& file_name);

// The same, and why file_name may not be written because it is an input of the run: a
// --measured file, the partner of a laser or ISO file given, or a file that a --measured folder
// holds. Every subcommand that takes --measured checks each of its outputs with it.
QString Output_Problem(const QString& command, const TArguments& arguments, const QString& file_name);

// The usage problem shared by the subcommands that take one machine and a list of measurements:
// "<command> needs one --machine", "... needs at least one --measurement", "... takes no
// --increments", or an empty text.
QString Machine_And_Measurements_Error(const QString& command, const TArguments& arguments);
} // namespace Batch

#endif
