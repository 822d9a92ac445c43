#pragma once

#include <QComboBox>

// The port list: tells its owner just before the list opens, so it can be read again.
class PortCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        emit aboutToShowPopup();
        QComboBox::showPopup();
    }

signals:
    void aboutToShowPopup();
};
