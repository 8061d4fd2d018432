#ifndef DRVP_DRVPINPUTDIALOG_H
#define DRVP_DRVPINPUTDIALOG_H

#include <QInputDialog>

// A frameless top-level QInputDialog that bypasses the window manager and
// carries the product icon; its look comes from the style sheet.
class drvpInputDialog : public QInputDialog
{
public:
    explicit drvpInputDialog();
    ~drvpInputDialog() override;
};

#endif
