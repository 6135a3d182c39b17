// A panel host for the objects' tests: a parent widget on the offscreen platform, the collection as a
// vector, and the status lines and message boxes written down instead of shown.
#pragma once

#include "PanelObject.h"

#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <QFontMetrics>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace panolixtest {

struct SeenMessage {
    std::u16string text;
    std::u16string caption;
    UINT type = 0;
};

class FakeHost : public IPanelHost {
public:
    explicit FakeHost(CTestExecutive* worker = nullptr) : worker_(worker) { parent.resize(800, 600); }

    void SetStatus(std::u16string_view text) override { statuses.emplace_back(text); }
    QFont DialogFont() const override { return parent.font(); }
    PanelTextExtent MeasureText(std::u16string_view text) const override {
        QFontMetrics metrics(parent.font());
        QString shown = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        return {metrics.horizontalAdvance(shown), metrics.height()};
    }
    int AverageCharWidth() const override { return QFontMetrics(parent.font()).averageCharWidth(); }
    QWidget* ObjectParent() const override { return withWindows ? const_cast<QWidget*>(&parent) : nullptr; }
    void Repaint() override { ++repaints; }
    void FitToObjects() override { ++fits; }
    void SetObjectCursor(Qt::CursorShape shape) override { cursor = shape; }
    void RunObjectCommand(PanelObjectCommand command) override { commands.push_back(command); }
    CTestExecutive* Worker() const override { return worker_; }
    void PumpWhileWaiting() override { PumpMessages(8); }
    int ShowMessage(std::u16string_view text, std::u16string_view caption, UINT type, bool) override {
        messages.push_back({std::u16string(text), std::u16string(caption), type});
        return 1; // IDOK: nobody is asked
    }
    std::u16string NewName() override { return u"obj" + vr::FromUtf8(std::to_string(counter++)); }
    void AddObject(std::unique_ptr<CPObject> object) override { objects.push_back(std::move(object)); }
    void ShowAllObjects(bool hide) override { hidden = hide; }
    bool RefreshRunning() const override { return refreshRunning; }

    const std::u16string& LastStatus() const { return statuses.back(); }

    QWidget parent;
    bool withWindows = true;
    std::vector<std::u16string> statuses;
    std::vector<SeenMessage> messages;
    std::vector<PanelObjectCommand> commands;
    std::vector<std::unique_ptr<CPObject>> objects;
    int counter = 0;
    int repaints = 0;
    int fits = 0;
    bool hidden = false;
    bool refreshRunning = false;
    Qt::CursorShape cursor = Qt::ArrowCursor;

private:
    CTestExecutive* worker_;
};

} // namespace panolixtest
