#pragma once
// Integer fields between a dialog's edit boxes and its members. Saving reads the boxes in
// the order they were added; the first one that is not a whole number within its bounds
// shows the range message, takes the focus and stops the exchange. Fields read before it
// keep their new values; the dialog stays open.

#include <QString>

#include <vector>

class QLineEdit;
class QWidget;

class FieldExchange {
public:
    void AddInt(QLineEdit* edit, int* value, int minimum, int maximum);

    // Fills every box from its member.
    void Load() const;
    // Reads the boxes back; false at the first failing field (after telling the user).
    bool Save(QWidget* dialog) const;

    static QString RangeMessage(int minimum, int maximum);

private:
    struct IntField {
        QLineEdit* edit;
        int* value;
        int minimum;
        int maximum;
    };
    std::vector<IntField> fields_;
};
