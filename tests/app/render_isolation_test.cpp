// SPDX-License-Identifier: GPL-3.0-or-later
// The window when the renderer process fails on one page: rendering ends
// normally, the other pages show their rendered thumbnails, the page
// keeps what it had, and the warning box names the page and the reason.
#include <gtest/gtest.h>

#include <QSpinBox>
#include <cstdlib>

#include "app/pages_panel.h"
#include "app_test_support.h"
#include "render/render_protocol.h"

namespace pagemint::testing {
namespace {

class RenderIsolation : public WindowFiles {};

TEST_F(RenderIsolation, FailingRendererCostsOnePage) {
  const struct {
    const char* fault;
    const char* reason;
  } cases[] = {
      {"crash:2", "the renderer stopped: killed by signal 11"},
      {"hang:2", "the renderer took longer than 1 s and was stopped"},
      {"memory:2", "the renderer stopped: it needed more than its memory limit of 2048 MB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Harness harness;
    TForm1& form = harness.form();
    harness.Open(source_);
    harness.Click(form.PagesButton);
    form.PDFDoc().SetRenderTimeout(1000);
    form.Pages->ThumbSizeBox->setValue(64);
    setenv(render_protocol::kFaultVariable, c.fault, 1);
    harness.Click(form.Pages->RenderAllButton);
    unsetenv(render_protocol::kFaultVariable);
    ASSERT_TRUE(harness.prompts().errors.isEmpty()) << harness.prompts().errors.join("\n");
    const PageListModel& model = form.Pages->Model();
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row)
      rows << model.data(model.index(row), Qt::DisplayRole).toString();
    EXPECT_EQ(rows, (QStringList{"Page 1\n48 x 64, rendered", "Page 2\nno thumbnail",
                                 "Page 3\n48 x 64, rendered"}));
    ASSERT_FALSE(harness.prompts().warnings_shown.empty());
    const auto& shown = harness.prompts().warnings_shown.back();
    EXPECT_EQ(shown.result, "2 of 3 pages got a rendered thumbnail; warnings:");
    const QStringList named =
        shown.warnings.filter(QString("Page 2 cannot be rendered (") + c.reason);
    ASSERT_EQ(named.size(), 1) << shown.warnings.join("\n");
    EXPECT_TRUE(named[0].endsWith("; it keeps no thumbnail")) << named[0];
  }
}

}  // namespace
}  // namespace pagemint::testing
