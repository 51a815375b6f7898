// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/appearance.h"

#include "core/settings.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QStyle>
#include <QStyleHints>
#include <QTranslator>

namespace settings {

namespace {

// Debian's Swedish catalogue of Qt's texts was made before Qt 6 moved some of them to other contexts: the standard
// buttons from QDialogButtonBox to QPlatformTheme, the text editors' menu from QTextControl to QWidgetTextControl,
// the spin boxes' "Select All" to their own. Asked under the new context, it answers with the text of the old one.
class QtSwedish : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        const QString text = QTranslator::translate(context, source, disambiguation, n);
        if (!text.isEmpty())
            return text;
        if (qstrcmp(context, "QPlatformTheme") == 0)
            return QTranslator::translate("QDialogButtonBox", source, disambiguation, n);
        if (qstrcmp(context, "QWidgetTextControl") == 0)
            return QTranslator::translate("QTextControl", source, disambiguation, n);
        if (qstrcmp(context, "QAbstractSpinBox") == 0 && qstrcmp(source, "&Select All") == 0) {
            const QString selectAll = QTranslator::translate("QLineEdit", "Select All", disambiguation, n);
            return selectAll.isEmpty() ? QString() : QLatin1Char('&') + selectAll;
        }
        return {};
    }
};

} // namespace

bool loadQtTranslation()
{
    auto* translator = new QtSwedish(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qt_sv"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

QPalette darkPalette()
{
    QPalette palette;
    const QList<QPair<QPalette::ColorRole, const char*>> everyGroup {
        {QPalette::Window, "#171e2b"},
        {QPalette::WindowText, "#e8ecf4"},
        {QPalette::Base, "#0f1520"},
        {QPalette::AlternateBase, "#1e2636"},
        {QPalette::Text, "#e8ecf4"},
        {QPalette::PlaceholderText, "#97a2b6"},
        {QPalette::Button, "#28303f"},
        {QPalette::ButtonText, "#e8ecf4"},
        {QPalette::ToolTipBase, "#1e2636"},
        {QPalette::ToolTipText, "#e8ecf4"},
        {QPalette::Highlight, "#2f6fe4"},
        {QPalette::HighlightedText, "#ffffff"},
        {QPalette::Link, "#8ab4f8"},
        {QPalette::LinkVisited, "#c4b5fd"},
        {QPalette::BrightText, "#ff8080"},
    };
    for (const auto& [role, color] : everyGroup)
        palette.setBrush(role, QBrush(QColor::fromString(QLatin1String(color))));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setBrush(QPalette::Disabled, role, QBrush(QColor::fromString("#6b7688")));
    return palette;
}

void applySavedTheme()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    // The palette the platform gave the program, captured before any theme replaced it, so that "system" can
    // return to it.
    static const QPalette systemPalette = QApplication::palette();
    const QString chosen = theme();
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    Qt::ColorScheme scheme = Qt::ColorScheme::Unknown;
    if (chosen == QLatin1String("light"))
        scheme = Qt::ColorScheme::Light;
    else if (chosen == QLatin1String("dark"))
        scheme = Qt::ColorScheme::Dark;
    QGuiApplication::styleHints()->setColorScheme(scheme);
#endif
    if (chosen == QLatin1String("dark"))
        QApplication::setPalette(darkPalette());
    else if (chosen == QLatin1String("light"))
        QApplication::setPalette(QApplication::style()->standardPalette());
    else
        QApplication::setPalette(systemPalette);
}

void applySavedFont()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    const QString family = fontFamily();
    const int size = fontSize();
    if (family.isEmpty() && size < 1)
        return;
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamily(family);
    if (size >= 1)
        font.setPointSize(size);
    QApplication::setFont(font);
}

} // namespace settings
