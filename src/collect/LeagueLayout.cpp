#include "LeagueLayout.h"

namespace {

const char* const Style = R"(
:root{color-scheme:light dark;--page:#fff;--text:#1f2328;--muted:#59636e;--line:#d0d7de;--head:#f6f8fa}
.s,.grid th,.grid td,.history th,.history td{white-space:nowrap;overflow-wrap:normal}
.grid,.history{display:block;max-width:100%;overflow-x:auto}
.grid tbody th,.grid thead th:first-child{position:sticky;left:0;z-index:1;background:var(--head)}
.car .file{overflow-x:auto}
.s.none{color:#fff}
.advice{font-weight:600;margin:0 0 6px}
@media (max-width:760px){
body{padding:12px 12px 30px}
h1{font-size:21px}
.grid tbody th{white-space:normal;overflow-wrap:anywhere;min-width:7em;max-width:7em}
.car .d{width:52em}
}
@media (prefers-color-scheme:dark){
:root{--page:#0d1117;--text:#e6edf3;--muted:#9198a1;--line:#3d444d;--head:#151b23}
body{background:var(--page);color:var(--text)}
a{color:#4493f8}
h2{border-bottom-color:var(--line)}
.meta b,.legend code,.d ins .w,.d del .w,.d ins .b,.d del .b{color:var(--text)}
.meta,.how,.legend,.live,p.none,.facts dt,.grid time,.d th,.d .cut,.d summary{color:var(--muted)}
.grid th,.grid td,.history th,.history td,.players th,.players td,.d,.d th{border-color:var(--line)}
.grid thead th,.history th,.players th,.d th{background:var(--head)}
.d td:nth-child(1),.d td:nth-child(5){background:var(--head);color:var(--muted)}
.d td:nth-child(4){border-color:var(--line);color:var(--muted)}
.d tr.c td:nth-child(4),.d tr.l td:nth-child(4),.d tr.r td:nth-child(4){color:var(--text)}
.d tr.c td:nth-child(3),.d tr.l td:nth-child(3),.d tr.c td:nth-child(2),.d tr.l td:nth-child(2){background:#3c1e22}
.d tr.c td:nth-child(7),.d tr.r td:nth-child(7),.d tr.c td:nth-child(6),.d tr.r td:nth-child(6){background:#16301f}
.d tr.c td:nth-child(2),.d tr.l td:nth-child(2){color:#ff7b72}
.d tr.c td:nth-child(6),.d tr.r td:nth-child(6){color:#56d364}
.d tr.l td:nth-child(n+5),.d tr.r td:nth-child(-n+3){background:repeating-linear-gradient(135deg,#151b23 0 4px,#212830 4px 8px)}
.d del{background:#8e1519;color:#fff}.d ins{background:#1f6f35;color:#fff}
.d pre,.d tr.f td{background:var(--page)}
a.tweaked{color:#ff7b72}a.damaged{color:#f0883e}a.allowed{color:#39c5cf}a.error{color:#bc8cff}
}
)";

} // namespace

namespace LeagueLayout {

QByteArray style()
{
    return Style;
}

} // namespace LeagueLayout
