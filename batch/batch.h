#ifndef BATCH_H
#define BATCH_H

#include <QByteArray>
#include <QStringList>

// varlume-batch: the "Machine Errors" and "Measurement Results" panes of the window for one
// machine and a list of measurements, printed from the two library files of a data directory,
// which it reads and never writes.
namespace Batch
{
// Exit codes.
enum TExitCode
{
  EXIT_OK = 0,
  EXIT_FAILED = 1, // the machine set-up, an expression or the simulation failed
  EXIT_USAGE = 2,  // usage errors, unknown names, map increments below 10
  // With --exit-code: conformity not conforming, identify partly identified; conformity not
  // proven (an inconclusive row, or no row to judge).
  EXIT_NOT_CONFORMING = 3,
  EXIT_PARTLY_IDENTIFIED = 3,
  EXIT_NOT_PROVEN = 4
};

// Whether the command line draws charts (plot with --output): main then makes a QApplication,
// on the offscreen platform when there is no display. Every other command line runs on a
// QCoreApplication and needs no display at all.
bool Needs_Widgets(const QStringList& arguments);

// Runs one command line (arguments[0] is the program); what would go to stdout and stderr is
// appended to out and err. Returns the exit code.
int Run(const QStringList& arguments, QByteArray* out, QByteArray* err);
} // namespace Batch

#endif
