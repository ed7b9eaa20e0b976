// The board page: the picture, a layer panel, net highlighting, zoom and pan,
// and the board summary, in one HTML file that needs no network.
#include "host/BoardPicture.h"

namespace Harrow {
namespace {

const char* const kStyle = R"(<style>
html,body{margin:0;height:100%;background:#101418;color:#d8dde3;font:13px sans-serif}
body{display:flex}
#side{width:260px;flex:none;overflow:auto;padding:8px 10px;border-right:1px solid #2a3038}
#side h1{font-size:15px;margin:4px 0 8px;word-break:break-all}
#side h2{font-size:13px;margin:12px 0 4px;color:#9aa4ae}
#layers label{display:flex;align-items:center;gap:6px;padding:1px 0;cursor:pointer}
#layers .sw{width:12px;height:12px;border:1px solid #000;flex:none}
#info{min-height:3em;white-space:pre-wrap;word-break:break-all;color:#f0f0a0}
#summary{font:12px monospace;white-space:pre-wrap;margin:0}
#view{flex:1;position:relative;overflow:hidden}
#view>svg{position:absolute;left:0;top:0;width:100%;height:100%;cursor:grab}
#view>svg.drag{cursor:grabbing}
button{background:#2a3038;color:#d8dde3;border:1px solid #444;margin:2px 2px 2px 0;padding:2px 8px}
svg.hl .layer{opacity:.25}
#lit{stroke-width:0;filter:brightness(1.6)}
</style>)";

const char* const kScript = R"(<script>
(function(){
var svg=document.querySelector('#view>svg');
if(!svg)return;
svg.removeAttribute('width');svg.removeAttribute('height');
var home=svg.getAttribute('viewBox').split(/\s+/).map(Number);
var vb=home.slice();
function show(){svg.setAttribute('viewBox',vb.join(' '));}
function fit(){vb=home.slice();show();}
function at(e){var r=svg.getBoundingClientRect();
 var s=Math.max(vb[2]/r.width,vb[3]/r.height);
 var ox=vb[0]+vb[2]/2-s*r.width/2, oy=vb[1]+vb[3]/2-s*r.height/2;
 return [ox+(e.clientX-r.left)*s, oy+(e.clientY-r.top)*s, s];}
svg.addEventListener('wheel',function(e){e.preventDefault();
 var p=at(e),k=Math.pow(1.0015,e.deltaY);
 vb=[p[0]-(p[0]-vb[0])*k,p[1]-(p[1]-vb[1])*k,vb[2]*k,vb[3]*k];show();},{passive:false});
var drag=null,moved=false;
svg.addEventListener('pointerdown',function(e){drag=[e.clientX,e.clientY,vb[0],vb[1]];moved=false;});
window.addEventListener('pointermove',function(e){
 if(!drag){hover(e);return;}
 var dx=e.clientX-drag[0],dy=e.clientY-drag[1];
 if(Math.abs(dx)+Math.abs(dy)>3){moved=true;svg.classList.add('drag');}
 if(!moved)return;
 var s=at(e)[2];vb[0]=drag[2]-dx*s;vb[1]=drag[3]-dy*s;show();});
window.addEventListener('pointerup',function(e){
 var was=drag&&!moved;drag=null;svg.classList.remove('drag');
 if(was&&svg.contains(e.target))pick(e.target,e);});
svg.addEventListener('dblclick',fit);
document.getElementById('fit').addEventListener('click',fit);
document.getElementById('zin').addEventListener('click',function(){zoom(0.7);});
document.getElementById('zout').addEventListener('click',function(){zoom(1/0.7);});
function zoom(k){var cx=vb[0]+vb[2]/2,cy=vb[1]+vb[3]/2;vb=[cx-vb[2]*k/2,cy-vb[3]*k/2,vb[2]*k,vb[3]*k];show();}
var info=document.getElementById('info'),NS=svg.namespaceURI;
var names=[''],table=document.getElementById('nets');
if(table)for(var n=table.firstElementChild;n;n=n.nextElementSibling)names.push(n.textContent);
function byId(id){return document.getElementById(id);}
function own(el){for(var c=el.firstChild;c;c=c.nextSibling)if(c.nodeName==='title')return c.textContent;return '';}
function def(use){return byId((use.getAttribute('href')||'').slice(1));}
// The pad of a component image under the pointer: the nearest pad centre in
// the image's own frame.
function centre(q){var a=function(n){return +q.getAttribute(n);};
 if(q.hasAttribute('cx'))return [a('cx'),a('cy')];
 if(q.hasAttribute('width'))return [a('x')+a('width')/2,a('y')+a('height')/2];
 var v=(q.getAttribute('points')||'').trim().split(/[\s,]+/).map(Number),x=0,y=0,n=v.length>>1;
 for(var i=0;i<2*n;i+=2){x+=v[i];y+=v[i+1];}return [x/n,y/n];}
function padAt(use,e){var d=def(use),m=use.getScreenCTM();if(!d||!m||!e)return null;
 var p=svg.createSVGPoint();p.x=e.clientX;p.y=e.clientY;p=p.matrixTransform(m.inverse());
 var best=null,bd=Infinity;d.querySelectorAll('[data-i]').forEach(function(q){
  var c=centre(q),dx=c[0]-p.x,dy=c[1]-p.y;if(dx*dx+dy*dy<bd){bd=dx*dx+dy*dy;best=q;}});
 return best;}
function netOf(el,e){var g=el.closest('g[data-n]');if(g)return +g.getAttribute('data-n');
 var c=el.getAttribute('data-c'),q=c!==null?padAt(el,e):null,u=c!==null?byId('c'+c):null;
 if(!q||!u)return 0;return +((u.getAttribute('data-n')||'').split(' ')[+q.getAttribute('data-i')]||0);}
function component(u){var d=def(u),m=/rotate\(([^)]*)\)/.exec(u.getAttribute('transform')||'');
 var p=d&&d.getAttribute('data-pattern');
 return u.getAttribute('data-ref')+(p?' ('+p+')':'')+(u.closest('#components-bottom')?', bottom, ':', top, ')+(m?m[1]:'0')+' deg';}
function describe(el,e){
 var parts=[],c=el.getAttribute('data-c');
 if(c!==null){var u=byId('c'+c),q=padAt(el,e);if(u)parts.push(u.getAttribute('data-ref')+(q?'-'+q.getAttribute('data-p'):''));}
 else if(el.classList.contains('c'))parts.push(component(el));
 else{var t=own(el);if(t)parts.push(t);}
 var k=netOf(el,e);if(k)parts.push('net '+names[k]);
 var l=el.closest('.layer');if(l)parts.push(l.getAttribute('data-name'));
 return parts.join('\n');}
var lit=0,padsOf=null;
function hover(e){if(!svg.contains(e.target)||e.target===svg)return;
 info.textContent=(lit?'highlighted: net '+names[lit]+'\n':'')+describe(e.target,e);}
// Every component pad by its net: the image use and the pad in the image.
function pads(){if(padsOf)return padsOf;padsOf={};
 svg.querySelectorAll('use[data-c]').forEach(function(u){var c=byId('c'+u.getAttribute('data-c')),d=def(u);
  var n=c?(c.getAttribute('data-n')||'').split(' '):[];if(!d||!n.length)return;
  d.querySelectorAll('[data-i]').forEach(function(q){var k=n[+q.getAttribute('data-i')];
   if(k&&k!=='0')(padsOf[k]=padsOf[k]||[]).push([u,q]);});});
 return padsOf;}
function paint(g,l){if(l){g.setAttribute('fill',l.getAttribute('fill'));g.setAttribute('stroke',l.getAttribute('stroke'));}}
function shown(l){return !l||l.style.display!=='none';}
function pick(el,e){
 var k=netOf(el,e);if(k===lit)k=0;lit=k;
 var out=byId('lit'),count=0;out.textContent='';svg.classList.toggle('hl',k>0);
 if(!k){info.textContent='';return;}
 svg.querySelectorAll('g[data-n="'+k+'"]').forEach(function(g){var l=g.closest('.layer');if(!shown(l))return;
  var c=g.cloneNode(true);paint(c,l);out.appendChild(c);count++;});
 (pads()[k]||[]).forEach(function(p){var l=p[0].closest('.layer');if(!shown(l))return;
  var g=document.createElementNS(NS,'g');g.setAttribute('transform',p[0].getAttribute('transform'));
  g.appendChild(p[1].cloneNode(true));paint(g,l);out.appendChild(g);count++;});
 info.textContent='highlighted: net '+names[k]+' ('+count+' groups and pads); click it again to clear';}
var panel=document.getElementById('layers');
var groups=Array.prototype.slice.call(svg.querySelectorAll('g.layer')).reverse();
groups.forEach(function(g){
 var label=document.createElement('label'),box=document.createElement('input'),sw=document.createElement('span');
 box.type='checkbox';box.checked=true;sw.className='sw';sw.style.background=g.getAttribute('data-color')||'#888';
 box.addEventListener('change',function(){g.style.display=box.checked?'':'none';});
 label.appendChild(box);label.appendChild(sw);label.appendChild(document.createTextNode(g.getAttribute('data-name')||g.id));
 panel.appendChild(label);});
document.getElementById('all').addEventListener('click',function(){set(true);});
document.getElementById('none').addEventListener('click',function(){set(false);});
function set(on){panel.querySelectorAll('input').forEach(function(b,i){b.checked=on;groups[i].style.display=on?'':'none';});}
})();
</script>)";

} // namespace

std::string BoardPage(const std::string& svg, const std::string& title,
                      const std::string& summary) {
    std::string page;
    page.reserve(svg.size() + summary.size() + 8192);
    page += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>";
    AppendXmlText(page, title);
    page += "</title>\n";
    page += kStyle;
    page += "\n</head><body>\n<div id=\"side\"><h1>";
    AppendXmlText(page, title);
    page += "</h1>"
            "<div><button id=\"fit\">fit</button><button id=\"zin\">+</button>"
            "<button id=\"zout\">&#8722;</button></div>"
            "<h2>Layers <button id=\"all\">all</button><button id=\"none\">none</button></h2>"
            "<div id=\"layers\"></div>"
            "<h2>Under the pointer</h2><div id=\"info\"></div>"
            "<h2>Board</h2><pre id=\"summary\">";
    AppendXmlText(page, summary);
    page += "</pre>"
            "<p>Wheel: zoom, drag: pan, double-click: fit, click a pad or track: its net.</p>"
            "</div>\n<div id=\"view\">\n";
    page += svg;
    page += "</div>\n";
    page += kScript;
    page += "\n</body></html>\n";
    return page;
}

} // namespace Harrow
