#ifndef DRVP_DRVPFILEDIALOG_H
#define DRVP_DRVPFILEDIALOG_H

#include <QFileDialog>

// A frameless top-level QFileDialog that bypasses the window manager and
// carries the product icon. Always Qt's own dialog, never the platform's,
// so that its look comes from the style sheet.
class drvpFileDialog : public QFileDialog
{
public:
    explicit drvpFileDialog();
    ~drvpFileDialog() override;
};

#endif
