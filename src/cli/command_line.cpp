#include "cli/command_line.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cstdio>

namespace mw::cli {
namespace {

// Bytes past ASCII of an argument the local encoding cannot read stand as lone low surrogates,
// U+DC80 to U+DCFF, which no decoded text holds (as Python's "surrogateescape").
constexpr char16_t kEscapedByte = 0xDC00;

QString decodedArgument(const char* argument) {
  const QString text = QString::fromLocal8Bit(argument);
  if (QFile::encodeName(text) == QByteArrayView(argument)) return text;
  QString escaped;
  for (const char* p = argument; *p; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    escaped += byte < 0x80 ? QChar(byte) : QChar(char16_t(kEscapedByte + byte));
  }
  return escaped;
}

}  // namespace

std::string CommandLine::localBytes(const QString& argument) {
  const bool escaped = std::any_of(argument.begin(), argument.end(), [](QChar c) {
    return c.unicode() >= kEscapedByte + 0x80 && c.unicode() <= kEscapedByte + 0xFF;
  });
  if (!escaped) return QFile::encodeName(argument).toStdString();
  std::string bytes;
  for (const QChar c : argument) bytes += char(c.unicode() < 0x80 ? c.unicode() : c.unicode() - kEscapedByte);
  return bytes;
}

CommandLine::CommandLine(const char* command, const char* version, const QString& description)
    : command_(command),
      version_(version),
      help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")),
      versionOption_({QStringLiteral("v"), QStringLiteral("version")},
                     QStringLiteral("Show the version and exit.")) {
  // Qt's own options are single-dash words (-platform xcb), and ours are all long.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser_.setApplicationDescription(description);
  parser_.addOption(help_);
  parser_.addOption(versionOption_);
}

void CommandLine::acceptQtOptions() {
  const auto hidden = [](QCommandLineOption option) {
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
  };
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                           "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "session", "display",
                           "name", "visual", "style", "stylesheet", "qmljsdebugger"})
    parser_.addOption(hidden(QCommandLineOption(QString::fromLatin1(name), {}, QStringLiteral("value"))));
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb"})
    parser_.addOption(hidden(QCommandLineOption(QString::fromLatin1(name))));
}

std::optional<int> CommandLine::parse(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << decodedArgument(argv[i]);
  if (!parser_.parse(arguments)) return fail(parser_.errorText());
  if (!parser_.positionalArguments().isEmpty())
    return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser_.positionalArguments().constFirst()));
  if (parser_.isSet(help_)) {
    std::fputs(qPrintable(usage()), stdout);
    return 0;
  }
  if (parser_.isSet(versionOption_)) {
    std::printf("%s %s\n", command_.constData(), version_.constData());
    return 0;
  }
  return std::nullopt;
}

int CommandLine::fail(const QString& message) const {
  std::fprintf(stderr, "%s: %s\n\n%s", command_.constData(), qPrintable(message), qPrintable(usage()));
  return 2;
}

QString CommandLine::usage() const {
  // Qt names the program in the usage line after the application's first argument; no
  // application exists yet, and a core one opens no display.
  if (QCoreApplication::instance()) return parser_.helpText();
  int argc = 1;
  QByteArray name = command_;
  char* argv[] = {name.data(), nullptr};
  QCoreApplication app(argc, argv);
  return parser_.helpText();
}

}  // namespace mw::cli
