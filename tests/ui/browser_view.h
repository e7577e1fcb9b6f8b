#pragma once
// A written report as a browser sees it: a script added to a copy of the
// report records which images loaded (with their natural widths) and the text
// of every table cell, and headless Chromium prints the page with it.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <fstream>
#include <sstream>
#include <string>

struct BrowserView {
    QStringList images; // "src=naturalWidth"
    QStringList shown;  // per image "natural width x height=shown width x height"
    QString cells;      // the cells' texts joined by "|"
    std::string error;  // empty when the page was read
};

inline BrowserView LoadInBrowser(const QString& report) {
    BrowserView view;
    const QString browser = QStandardPaths::findExecutable("chromium-headless-shell");
    if (browser.isEmpty()) {
        view.error = "scripts/setup installs chromium-headless-shell";
        return view;
    }
    std::ostringstream bytes;
    bytes << std::ifstream(report.toStdString(), std::ios::binary).rdbuf();
    std::string page = bytes.str();
    const std::string probe =
        "<script>window.addEventListener('load', function () {"
        " var out = [];"
        " for (var img of document.images) out.push(img.getAttribute('src') + '=' + "
        "img.naturalWidth);"
        " var shown = [];"
        " for (var img of document.images) shown.push(img.naturalWidth + 'x' + img.naturalHeight"
        " + '=' + img.width + 'x' + img.height);"
        " var cells = [];"
        " for (var td of document.querySelectorAll('td')) cells.push(td.textContent.trim());"
        " var pre = document.createElement('pre'); pre.id = 'probe';"
        " pre.textContent = 'IMAGES ' + out.join(' ') + '\\nSHOWN ' + shown.join(' ') +"
        " '\\nCELLS ' + cells.join('|');"
        " document.body.appendChild(pre); });</script>\r\n";
    const auto body = page.find("</body>");
    if (body == std::string::npos) {
        view.error = "the report has no </body>";
        return view;
    }
    page.insert(body, probe);
    // The copy sits beside the report, so the picture links resolve alike.
    const QString copy = QFileInfo(report).dir().filePath("probe.html");
    std::ofstream(copy.toStdString(), std::ios::binary) << page;

    QProcess chromium;
    chromium.start(browser, {"--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
                             "--virtual-time-budget=5000", "--dump-dom",
                             QUrl::fromLocalFile(copy).toString()});
    if (!chromium.waitForFinished(120000)) {
        view.error = "the browser did not finish";
        return view;
    }
    QString dom = QString::fromUtf8(chromium.readAllStandardOutput());
    const qsizetype probeAt = dom.indexOf("<pre id=\"probe\">");
    if (probeAt < 0) {
        view.error = "no probe in the page: " + dom.left(2000).toStdString();
        return view;
    }
    dom = dom.mid(probeAt);
    dom.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
    view.images = QRegularExpression("IMAGES ([^\\n]*)")
                      .match(dom)
                      .captured(1)
                      .split(' ', Qt::SkipEmptyParts);
    view.shown =
        QRegularExpression("SHOWN ([^\\n]*)").match(dom).captured(1).split(' ', Qt::SkipEmptyParts);
    view.cells = QRegularExpression("CELLS ([^\\n]*)").match(dom).captured(1);
    return view;
}
