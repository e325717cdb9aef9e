#pragma once
// cli: the command lines of memwick and memwick-site.
// The command line of Memwick's programs, read before the application object exists: --help,
// --version and a mistake end the program before anything opens a display.
#include <QCommandLineParser>
#include <optional>
#include <string>

namespace mw::cli {

class CommandLine {
 public:
  // `command` names the program in the usage line and in messages; `version` is what --version
  // prints after it.
  CommandLine(const char* command, const char* version, const QString& description);

  // Add the program's own options here, then parse.
  QCommandLineParser& parser() { return parser_; }
  const QCommandLineParser& parser() const { return parser_; }
  // Also takes the options of Qt's application object (-platform, -display, -style, ...), which
  // it reads from the same arguments afterwards.
  void acceptQtOptions();

  // Reads the arguments. Gives the status to exit with when the program ends here: 0 after --help
  // or --version (printed on stdout), 2 after a mistake (printed with the usage on stderr).
  std::optional<int> parse(int argc, char** argv);

  // For a mistake in an option's value: prints it with the usage on stderr; gives 2.
  int fail(const QString& message) const;

  // An argument read by parse() as the bytes it was given in: a file name need not be in the
  // local encoding, and is then kept byte for byte.
  static std::string localBytes(const QString& argument);

 private:
  QString usage() const;

  QByteArray command_;
  QByteArray version_;
  QCommandLineParser parser_;
  QCommandLineOption help_;
  QCommandLineOption versionOption_;
};

}  // namespace mw::cli
