// The panel's modal dialogs: the properties of a control object, of a graph or group box, of a picture, and
// the main-script editor. Each is filled from its fields and, when confirmed, gives them back; they run
// through vr::ui::ExecModal, so tests answer them.
//
// Threads: window thread only.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <string_view>

class AttrValueEditor;
class CAttrValue;
class QLineEdit;
class ScriptEdit;

// A value editor's text as a field: "<Undefined>" (any case) stands for the empty text.
std::u16string FieldOfEditorText(std::u16string_view text);

// The fields of a graph, group or picture object (imageFile only for a picture).
struct ObjectFields {
    std::u16string description;
    std::u16string imageFile;
    std::u16string initScript;
    std::u16string getScript;
};

// The fields of a control object.
struct ControlFields {
    std::u16string description;
    std::u16string initScript;
    std::u16string value;
    std::u16string spec;
    std::u16string format;
    std::u16string parameters;
    std::u16string setScript;
    std::u16string getScript;
};

// "Object Properties" (picture: "Picture Properties", with the image file and its "..." chooser).
class ObjectPropertiesDialog : public QDialog {
public:
    ObjectPropertiesDialog(QWidget* parent, bool picture, const ObjectFields& fields);
    ObjectFields Fields() const;

    QLineEdit* DescriptionEdit() const { return description_; }
    QLineEdit* ImageFileEdit() const { return imageFile_; }
    ScriptEdit* InitScriptEdit() const { return initScript_; }

private:
    void ChooseImageFile();

    QLineEdit* description_ = nullptr; // owned by the dialog (Qt children)
    QLineEdit* imageFile_ = nullptr;   // null unless a picture
    ScriptEdit* initScript_ = nullptr;
    ScriptEdit* getScript_ = nullptr;
};

// "Control Object": description and scripts, and four value editors (value expression, spec, display
// format, input script parameters) that remember their recent values.
class ControlObjectDialog : public QDialog {
public:
    ControlObjectDialog(QWidget* parent, const ControlFields& fields);
    ~ControlObjectDialog() override;
    // The fields as edited; the editors' values as they were last stored (on OK).
    ControlFields Fields() const;

    AttrValueEditor* FormatEditor() const { return editors_[kFormat]; }

    void accept() override;

private:
    enum EditorIndex { kValue, kSpec, kFormat, kParameters, kEditorCount };

    QLineEdit* description_ = nullptr;
    ScriptEdit* initScript_ = nullptr;
    ScriptEdit* getScript_ = nullptr;
    ScriptEdit* setScript_ = nullptr;
    std::unique_ptr<CAttrValue> values_[kEditorCount]; // the editors' values
    AttrValueEditor* editors_[kEditorCount] = {};
    std::u16string stored_[kEditorCount]; // what OK stored
};

// "Main Script": the script in an edit whose frame names the language.
class MainScriptDialog : public QDialog {
public:
    MainScriptDialog(QWidget* parent, std::u16string_view language, std::u16string_view script);
    std::u16string Script() const;
    ScriptEdit* Editor() const { return script_; }

private:
    ScriptEdit* script_ = nullptr;
};

// Run the dialogs modally; true and the fields changed when confirmed.
bool EditObjectFields(QWidget* parent, bool picture, ObjectFields* fields);
bool EditControlFields(QWidget* parent, ControlFields* fields);
bool EditMainScript(QWidget* parent, std::u16string_view language, std::u16string* script);
