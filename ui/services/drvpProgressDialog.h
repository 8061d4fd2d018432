#ifndef DRVP_DRVPPROGRESSDIALOG_H
#define DRVP_DRVPPROGRESSDIALOG_H

#include <QProgressDialog>

// A frameless top-level QProgressDialog that bypasses the window manager and
// carries the product icon; its look comes from the style sheet.
class drvpProgressDialog : public QProgressDialog
{
public:
    explicit drvpProgressDialog();
    ~drvpProgressDialog() override;
};

#endif
