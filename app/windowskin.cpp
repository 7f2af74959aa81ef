#include "app/windowskin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyleFactory>
#include <QTextStream>

namespace velloran {

void WindowSkin::SetBaseStyle(int style)
{
    m_baseStyle = style;
}

void WindowSkin::SetScope(int scope)
{
    m_scope = scope;
}

bool WindowSkin::LoadSkinFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << "velloran: cannot read the skin file " << QDir::toNativeSeparators(path)
                            << ": " << file.errorString() << "; keeping the platform's look." << Qt::endl;
        m_loaded = false;
        return false;
    }
    m_styleSheet = QString::fromUtf8(file.readAll());
    m_loaded = true;
    return true;
}

void WindowSkin::ApplySkin()
{
    if (!m_loaded || m_scope != 1)
        return;
    if (m_baseStyle == 2)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    qApp->setStyleSheet(m_styleSheet);
}

} // namespace velloran
