#ifndef DRVP_DRVPMESSAGEBOX_H
#define DRVP_DRVPMESSAGEBOX_H

#include <QMessageBox>

// A frameless top-level QMessageBox that bypasses the window manager and
// carries the product icon; its look comes from the style sheet.
class drvpMessageBox : public QMessageBox
{
public:
    explicit drvpMessageBox();
    ~drvpMessageBox() override;
};

#endif
