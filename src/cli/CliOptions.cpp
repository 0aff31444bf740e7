#include "cli/CliOptions.h"

#include "translate/LanguageCatalog.h"
#include "translate/TranslateConfig.h"

namespace {

using Command = CliOptions::Command;

// The options each command takes; every one but --json, --check and
// --starred has a value.
QStringList OptionsOf(Command command) {
    switch (command) {
    case Command::Translate:
        return {"-s", "-t", "--engine", "--json"};
    case Command::Ocr:
        return {"-e", "-s", "--json"};
    case Command::Speak:
        return {"-l", "-o"};
    case Command::Languages:
        return {"--json"};
    case Command::Engines:
        return {"--check", "--json"};
    case Command::History:
        return {"--search", "--starred", "--limit", "--json", "--anki"};
    default:
        return {};
    }
}

std::optional<int> PositionIn(const QStringList& names, QString (*code)(int),
                              const QString& language) {
    for (int i = 0; i < names.size(); ++i)
        if (names[i] == language || code(i).compare(language, Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

bool IsCjk(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF) || (u >= 0x3000 && u <= 0x303F);
}

// The action word and the options each action takes.
void CheckHistoryOptions(CliOptions& options) {
    if (!options.words.isEmpty())
        options.action = options.words.takeFirst();
    if (!options.words.isEmpty()) {
        options.error = QStringLiteral("多余的参数：") + options.words.first();
        return;
    }
    if (options.action == QLatin1String("export")) {
        if (options.ankiFile.isEmpty())
            options.error = QStringLiteral("history export 需要 --anki 文件");
        else if (options.limit > 0 || options.json)
            options.error = QStringLiteral("history export 只接受 --anki、--search 和 --starred");
    } else if (options.action == QLatin1String("clear")) {
        if (!options.ankiFile.isEmpty() || !options.search.isEmpty() || options.starred ||
            options.limit > 0 || options.json)
            options.error = QStringLiteral("history clear 不接受选项");
    } else if (!options.action.isEmpty()) {
        options.error = QStringLiteral("未知的 history 操作：") + options.action;
    } else if (!options.ankiFile.isEmpty()) {
        options.error = QStringLiteral("--anki 只用于 history export");
    }
}

} // namespace

CliOptions ParseCommandLine(const QStringList& arguments) {
    CliOptions options;
    if (arguments.isEmpty())
        return options;
    options.command = CommandOfWord(arguments[0].toUtf8().constData());
    if (options.command == Command::Unknown) {
        options.error = QStringLiteral("未知的命令：") + arguments[0];
        return options;
    }
    if (options.command == Command::Window) {
        if (arguments.size() > 1)
            options.error = QStringLiteral("多余的参数：") + arguments[1];
        return options;
    }
    const QStringList known = OptionsOf(options.command);
    bool wordsOnly = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (wordsOnly || !arg.startsWith('-') || arg == QLatin1String("-")) {
            options.words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            wordsOnly = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (!known.contains(arg)) {
            options.error = QStringLiteral("未知的选项：") + arg;
            return options;
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--check")) {
            options.check = true;
        } else if (arg == QLatin1String("--starred")) {
            options.starred = true;
        } else if (i + 1 >= arguments.size()) {
            options.error = arg + QStringLiteral(" 需要一个值");
            return options;
        } else {
            const QString& value = arguments[++i];
            if (arg == QLatin1String("-s"))
                options.source = value;
            else if (arg == QLatin1String("-t"))
                options.target = value;
            else if (arg == QLatin1String("-l"))
                options.language = value;
            else if (arg == QLatin1String("-o"))
                options.outputFile = value;
            else if (arg == QLatin1String("--engine")) {
                options.translator = value.trimmed().toLower();
                if (!KnownEngineNames().contains(options.translator)) {
                    options.error = QStringLiteral("未知的翻译引擎：%1（可选：%2）")
                                        .arg(value, KnownEngineNames().join(QStringLiteral("、")));
                    return options;
                }
            } else if (arg == QLatin1String("--search"))
                options.search = value;
            else if (arg == QLatin1String("--anki"))
                options.ankiFile = value;
            else if (arg == QLatin1String("--limit")) {
                bool number = false;
                options.limit = value.toInt(&number);
                if (!number || options.limit <= 0) {
                    options.error = QStringLiteral("--limit 需要一个正整数");
                    return options;
                }
            } else if (value == QLatin1String("1") || value == QLatin1String("2"))
                options.engine = value.toInt();
            else {
                options.error = QStringLiteral("-e 只能是 1 或 2");
                return options;
            }
        }
    }
    if (options.command == Command::History && !options.help)
        CheckHistoryOptions(options);
    if (options.command == Command::Ocr && !options.help && options.words.size() != 1)
        options.error = QStringLiteral("请给出一个图片文件");
    if ((options.command == Command::Help || options.command == Command::Version ||
         options.command == Command::Languages || options.command == Command::Engines) &&
        !options.words.isEmpty())
        options.error = QStringLiteral("多余的参数：") + options.words.first();
    return options;
}

QString UsageText(CliOptions::Command command) {
    switch (command) {
    case Command::Translate:
        return QStringLiteral(
            "用法：quillmate translate [-s 语言] [-t 语言] [--engine 引擎] [--json] [文本 ...]\n"
            "翻译文本（参数以空格连接；没有参数时读取标准输入），每行输出一行译文。\n"
            "依次尝试设置中的翻译引擎，一个失败时换下一个。\n"
            "  -s 语言         原文语言：翻译代码（en、zh-CN、auto）或列表中的名称（英语）\n"
            "  -t 语言         译文语言；两者默认为主窗口保存的语言\n"
            "  --engine 引擎   只用这一个引擎（google、bing、libretranslate、llm），\n"
            "                  不换引擎，也不理会休息时间\n"
            "  --json          输出一个 JSON 对象：source、target、engine、text、lines\n");
    case Command::Ocr:
        return QStringLiteral("用法：quillmate ocr [-e 1|2] [-s 语言] [--json] 图片\n"
                              "识别图片文件中的文字（Qt 能读取的任何格式），每行输出一行。\n"
                              "  -e 1|2    识别引擎，默认为主窗口选择的引擎\n"
                              "  -s 语言   原文语言（引擎二使用），默认为主窗口保存的原文语言\n"
                              "  --json    输出一个 JSON 对象：engine、text、lines\n");
    case Command::Speak:
        return QStringLiteral("用法：quillmate speak [-l 语言] [-o 文件] [文本 ...]\n"
                              "朗读文本（没有参数时读取标准输入）。\n"
                              "  -l 语言   朗读的语言，默认为主窗口保存的原文语言\n"
                              "  -o 文件   把 mp3 录音写入文件，而不是播放\n");
    case Command::Languages:
        return QStringLiteral("用法：quillmate languages [--json]\n"
                              "列出语言：位置、名称、翻译代码、朗读代码。\n");
    case Command::Engines:
        return QStringLiteral(
            "用法：quillmate engines [--check] [--json]\n"
            "按尝试的顺序列出翻译引擎：名称、显示名、主机、是否已设置、是否在休息（到何时）。\n"
            "  --check   用每个引擎翻译一小段文字，列出结果和用时；\n"
            "            至少一个引擎翻译成功时退出状态为 0\n"
            "  --json    输出一个 JSON 对象：engines\n");
    case Command::History:
        return QStringLiteral(
            "用法：quillmate history [--search 文本] [--starred] [--limit N] [--json]\n"
            "      quillmate history export --anki 文件 [--search 文本] [--starred]\n"
            "      quillmate history clear\n"
            "列出、导出或清空翻译历史（最新的在前）。\n"
            "  --search 文本   只列出原文或译文含有这些字词的条目（以空格分开，都要出现）\n"
            "  --starred       只列出生词本（加了星标的条目）\n"
            "  --limit N       最多 N 条\n"
            "  --json          每条一行 JSON：source、target、from、to、engine、time、starred\n"
            "  export --anki 文件   写出 Anki 的“导入文件”能直接读入的文本文件\n"
            "  clear           删除全部翻译历史（包括生词本）\n");
    default:
        return QStringLiteral("用法：quillmate [命令] [选项]\n"
                              "没有命令时打开主窗口。\n"
                              "\n"
                              "命令：\n"
                              "  translate   翻译文本\n"
                              "  ocr         识别图片中的文字\n"
                              "  speak       朗读文本\n"
                              "  languages   列出语言和代码\n"
                              "  engines     列出翻译引擎，或检查它们能否翻译\n"
                              "  history     翻译历史：列出、导出到 Anki、清空\n"
                              "\n"
                              "  --help      显示本说明；quillmate 命令 --help 显示该命令的说明\n"
                              "  --version   显示版本\n"
                              "\n"
                              "退出状态：0 成功，1 服务失败，2 用法错误。\n");
    }
}

QString VersionText() {
    return QStringLiteral("quillmate " QUILL_VERSION "\n");
}

std::optional<int> SourcePosition(const QString& language) {
    return PositionIn(SourceLanguageItems(), SourceLangCode, language);
}

std::optional<int> TargetPosition(const QString& language) {
    return PositionIn(TargetLanguageItems(), TargetLangCode, language);
}

QString PlainMessage(const QString& message) {
    const QString text = message.trimmed();
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool padding = text[i] == ' ' && i > 0 && i + 1 < text.size() && IsCjk(text[i - 1]) &&
                             IsCjk(text[i + 1]);
        if (!padding)
            out += text[i];
    }
    return out;
}
