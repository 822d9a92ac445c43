// The English catalogue against the sources. lupdate reads the operator texts of the sources
// afresh; every one must be in translations/ktm520_en.ts, translated, with the placeholders
// (%1, %2 ...) and the file patterns (*.xls ...) of its source, and the catalogue may hold
// nothing the sources no longer say. A new or changed text fails here until
// `cmake --build build --target update_translations` has brought it into the catalogue and it
// has been translated.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

struct Message {
    QString context;
    QString source;
    QString comment; // the disambiguation, which is part of the message's identity
    QString translation;
    QString type; // of the translation: "" when finished, else "unfinished", "vanished", "obsolete"
};

// The text of the element the reader is on, up to its end; lupdate writes control characters
// as <byte value="xd"/>.
QString elementText(QXmlStreamReader& xml)
{
    QString text;
    while (xml.readNext() != QXmlStreamReader::EndElement && !xml.atEnd()) {
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isStartElement() && xml.name() == u"byte") {
            const QString value = xml.attributes().value(QLatin1String("value")).toString();
            bool ok = false;
            const uint code = value.startsWith(u'x') ? value.mid(1).toUInt(&ok, 16) : value.toUInt(&ok);
            if (ok)
                text += QChar(char16_t(code));
            xml.skipCurrentElement();
        }
    }
    return text;
}

std::vector<Message> readCatalogue(const QString& path, QString* error)
{
    std::vector<Message> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return out;
    }
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name") {
            context = elementText(xml);
        } else if (xml.name() == u"message") {
            Message m{context, {}, {}, {}, {}};
            while (xml.readNextStartElement()) {
                if (xml.name() == u"source") {
                    m.source = elementText(xml);
                } else if (xml.name() == u"comment") {
                    m.comment = elementText(xml);
                } else if (xml.name() == u"translation") {
                    m.type = xml.attributes().value(QLatin1String("type")).toString();
                    m.translation = elementText(xml);
                } else {
                    xml.skipCurrentElement();
                }
            }
            out.push_back(m);
        }
    }
    if (xml.hasError())
        *error = path + QStringLiteral(": ") + xml.errorString();
    return out;
}

QString key(const Message& m) { return m.context + QChar(0x1f) + m.source + QChar(0x1f) + m.comment; }

std::set<QString> matches(const QString& text, const QRegularExpression& pattern)
{
    std::set<QString> found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

QString shown(const Message& m) { return QStringLiteral("[%1] \"%2\"").arg(m.context, m.source); }

// The operator texts the sources hold now, as lupdate finds them.
std::vector<Message> sourceTexts(QString* error)
{
    static QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh_en.ts"));
    QFile::remove(fresh);
    QStringList arguments{QStringLiteral("-silent"), QStringLiteral("-I"), QStringLiteral(KTM_SOURCE_DIR),
                          QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-extensions"),
                          QStringLiteral("h,cpp")};
    for (const QString& folder : QStringLiteral(KTM_TRANSLATED_FOLDERS).split(u','))
        arguments << QStringLiteral(KTM_SOURCE_DIR "/") + folder;
    arguments << QStringLiteral("-ts") << fresh;
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(KTM_LUPDATE), arguments);
    if (!lupdate.waitForFinished(120000) || lupdate.exitStatus() != QProcess::NormalExit || lupdate.exitCode() != 0) {
        *error = QStringLiteral("lupdate failed: ") + QString::fromLocal8Bit(lupdate.readAll());
        return {};
    }
    return readCatalogue(fresh, error);
}

} // namespace

TEST(Catalogue, EveryOperatorTextOfTheSourcesIsTranslated)
{
    QString error;
    const std::vector<Message> sources = sourceTexts(&error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    // lupdate really read the sources (a wrong folder would find nothing and check nothing).
    ASSERT_GT(sources.size(), 250u);
    const std::vector<Message> catalogue = readCatalogue(QStringLiteral(KTM_TS_FILE), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    std::map<QString, const Message*> byKey;
    for (const Message& m : catalogue)
        byKey[key(m)] = &m;
    const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    const QRegularExpression filePattern(QStringLiteral("\\*\\.[A-Za-z0-9]+"));
    // Chinese left in an English text, but for the language's own name.
    const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));

    QStringList problems;
    std::set<QString> used;
    for (const Message& s : sources) {
        used.insert(key(s));
        const auto found = byKey.find(key(s));
        if (found == byKey.end()) {
            problems << shown(s) + QStringLiteral(": not in the catalogue");
            continue;
        }
        const Message& t = *found->second;
        if (!t.type.isEmpty() || t.translation.isEmpty()) {
            problems << shown(s) + QStringLiteral(": not translated");
            continue;
        }
        if (t.translation == s.source)
            problems << shown(s) + QStringLiteral(": translated as itself");
        if (matches(t.translation, placeholder) != matches(s.source, placeholder))
            problems << shown(s) + QStringLiteral(": placeholders differ in \"%1\"").arg(t.translation);
        if (matches(t.translation, filePattern) != matches(s.source, filePattern))
            problems << shown(s) + QStringLiteral(": file patterns differ in \"%1\"").arg(t.translation);
        if (QString(t.translation).remove(QStringLiteral("中文")).contains(chinese))
            problems << shown(s) + QStringLiteral(": Chinese left in \"%1\"").arg(t.translation);
    }
    for (const Message& t : catalogue)
        if (!used.count(key(t)))
            problems << shown(t) + QStringLiteral(": no longer in the sources");
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString()
                                    << "\n(cmake --build build --target update_translations, then translate "
                                       "translations/ktm520_en.ts)";
}

TEST(Catalogue, TheProgramCarriesTheCatalogueItWasBuiltWith)
{
    QString error;
    const std::vector<Message> catalogue = readCatalogue(QStringLiteral(KTM_TS_FILE), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QTranslator builtIn;
    ASSERT_TRUE(builtIn.load(QStringLiteral(":/i18n/ktm520_en.qm")));
    for (const Message& m : catalogue) {
        const QByteArray context = m.context.toUtf8(), source = m.source.toUtf8(), comment = m.comment.toUtf8();
        EXPECT_EQ(builtIn.translate(context.constData(), source.constData(), m.comment.isEmpty() ? nullptr : comment.constData()),
                  m.translation)
            << shown(m).toStdString();
    }
}
