#pragma once

#include "ui/services/MultiProgressElement.h"

#include <QLabel>
#include <QTemporaryDir>

#include <array>

// The upload page's five-step progress row, ready at its connect step as the
// main window hands it over. Each state has a picture of its own width, so
// a step's state can be read back from its label.
class UploadProgressRow
{
public:
    static constexpr int connectStep = 3;
    static constexpr int sendStep = 4;

    explicit UploadProgressRow();

    MultiProgressElement* element() { return &progress; }
    // State shown by the step's label; -1 when it shows no picture.
    int state(int step) const;
    QString message() const { return messageLabel.text(); }

private:
    QTemporaryDir pictures;
    std::array<QLabel, 5> labels;
    QLabel messageLabel;
    MultiProgressElement progress;
};
