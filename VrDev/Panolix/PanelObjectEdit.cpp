// The panel objects' Edit: their properties dialog and, when confirmed, the fields taken and the object
// initialised again.
#include "PanelDialogs.h"
#include "PanelObjectControl.h"
#include "PanelObjectKinds.h"

namespace {

// Takes the fields of a graph, group or picture object back into it.
void TakeObjectFields(CPObject& object, const ObjectFields& fields) {
    object.SetDescription(fields.description);
    object.SetInitScript(fields.initScript);
    object.SetGetScript(fields.getScript);
}

ObjectFields FieldsOf(const CPObject& object) {
    ObjectFields fields;
    fields.description = object.Description();
    fields.initScript = object.InitScript();
    fields.getScript = object.GetScript();
    return fields;
}

} // namespace

void CPObjectGraph::Edit() {
    ObjectFields fields = FieldsOf(*this);
    if (!EditObjectFields(host_.ObjectParent(), false, &fields)) {
        return;
    }
    TakeObjectFields(*this, fields);
    (void)Initialize(true); // a failure has been shown; the object stays without windows until edited again
    host_.Repaint();
}

void CPObjectGroup::Edit() {
    ObjectFields fields = FieldsOf(*this);
    if (!EditObjectFields(host_.ObjectParent(), false, &fields)) {
        return;
    }
    TakeObjectFields(*this, fields);
    (void)Initialize(true); // a failure has been shown; the object stays without windows until edited again
    host_.Repaint();
}

void CPObjectPicture::Edit() {
    ObjectFields fields = FieldsOf(*this);
    fields.imageFile = file_;
    if (!EditObjectFields(host_.ObjectParent(), true, &fields)) {
        return;
    }
    TakeObjectFields(*this, fields);
    file_ = fields.imageFile;
    (void)Initialize(true); // a failure has been shown; the object stays without windows until edited again
    host_.Repaint();
}

void CPObjectControl::Edit() {
    ControlFields fields{description_, initScript_, value_,     spec_,
                         format_,      parameters_, setScript_, getScript_};
    if (!EditControlFields(host_.ObjectParent(), &fields)) {
        return;
    }
    description_ = fields.description;
    initScript_ = fields.initScript;
    value_ = fields.value;
    spec_ = fields.spec;
    format_ = fields.format;
    parameters_ = fields.parameters;
    setScript_ = fields.setScript;
    getScript_ = fields.getScript;
    (void)Initialize(true); // a failure has been shown; the object stays without windows until edited again
    host_.Repaint();
}
