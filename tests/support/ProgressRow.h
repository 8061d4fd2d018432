#pragma once

#include "ui/services/MultiProgressElement.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <memory>
#include <vector>

// A progress element on real labels. Each state's picture is as wide as the
// state number plus one, so a step's state can be read back from its label.
class ProgressRow
{
public:
    explicit ProgressRow(const QString &folder, int stepCount = 5)
    {
        QVector<QString> paths;
        for (int state = 0; state < 4; ++state) {
            const QString path = QDir(folder).filePath(QStringLiteral("state%1.png").arg(state));
            QImage(state + 1, 1, QImage::Format_RGB32).save(path);
            paths << path;
        }
        QVector<QLabel *> labels;
        for (int i = 0; i < stepCount; ++i) {
            icons.push_back(std::make_unique<QLabel>());
            labels << icons.back().get();
        }
        element.init(labels, QVector<QVector<QString>>(stepCount, paths), &message);
        element.reset(QString(), 0);
    }

    // The state shown by a step's picture; -1: none.
    int state(int step) const
    {
        const QPixmap picture = icons.at(size_t(step))->pixmap(Qt::ReturnByValue);
        return picture.isNull() ? -1 : picture.width() - 1;
    }

    // "<state of the current step>|<message>".
    QString shown() const { return QStringLiteral("%1|%2").arg(state(element.current)).arg(message.text()); }

    std::vector<std::unique_ptr<QLabel>> icons;
    QLabel message;
    MultiProgressElement element;
};
