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

// Zoom, pan, the layer panel and the pointer's events, for either form of
// the page; `svg` is the drawing, hover(e) and pick(target, e) are the
// form's own.
const char* const kViewScript = R"(if(!svg)return;
svg.removeAttribute('width');svg.removeAttribute('height');
var home=svg.getAttribute('viewBox').split(/\s+/).map(Number);
var vb=home.slice();
var after=null;
function show(){svg.setAttribute('viewBox',vb.join(' '));if(after)after();}
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
var panel=document.getElementById('layers');
var groups=Array.prototype.slice.call(svg.querySelectorAll('g.layer')).reverse();
groups.forEach(function(g){
 var label=document.createElement('label'),box=document.createElement('input'),sw=document.createElement('span');
 box.type='checkbox';box.checked=true;sw.className='sw';sw.style.background=g.getAttribute('data-color')||'#888';
 box.addEventListener('change',function(){g.style.display=box.checked?'':'none';if(after)after();});
 label.appendChild(box);label.appendChild(sw);label.appendChild(document.createTextNode(g.getAttribute('data-name')||g.id));
 panel.appendChild(label);});
document.getElementById('all').addEventListener('click',function(){set(true);});
document.getElementById('none').addEventListener('click',function(){set(false);});
function set(on){panel.querySelectorAll('input').forEach(function(b,i){b.checked=on;groups[i].style.display=on?'':'none';});if(after)after();}
)";

// The page of SVG markup: what lies under the pointer is the element there.
const char* const kMarkupScript = R"(var svg=document.querySelector('#view>svg');
)";
const char* const kMarkupNets = R"(var names=[''],table=document.getElementById('nets');
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
)";

// The page of data: a canvas under an SVG of empty layer groups (for the
// layer panel, the pointer, free texts, designators and a picked net). The
// canvas draws each layer's shapes of one style as one path, once per view;
// what lies under the pointer is found through a grid of the pieces' and
// components' extents.
const char* const kDataScript = R"(var D=JSON.parse(document.getElementById('data').textContent);
var SN='http://www.w3.org/2000/svg',view=document.getElementById('view');
function el(n,a,p){var e=document.createElementNS(SN,n);for(var k in a)e.setAttribute(k,a[k]);if(p)p.appendChild(e);return e;}
var cv=document.createElement('canvas'),cx=cv.getContext('2d');view.appendChild(cv);
var svg=el('svg',{id:'board',viewBox:D.v.join(' ')},view);
var flip=el('g',{id:'flip',transform:'scale(1 -1)'},svg);
var used=D.L.map(function(){return 0;});D.C.forEach(function(c){used[c[0]]=1;});D.T.forEach(function(t){used[t[0]]=1;});
var G=D.L.map(function(l,i){return el('g',{'class':!used[i]?'unused':l[3]==='comp'?'layer comp':'layer',id:l[1],'data-layer':l[0],
 'data-name':l[2],'data-kind':l[3],'data-stack':l[5],'data-color':l[4],fill:l[4],stroke:l[4]},flip);});
// A layer's pieces of one style and width in 16 x 16 tiles of the view,
// each tile one path with its extent: a zoomed view draws the tiles it shows.
var paths=G.map(function(){return {};}),byNet={},tile=Math.max(D.v[2],D.v[3])/16;
D.C.forEach(function(c,i){var m=paths[c[0]],t=' '+Math.floor((c[2]+c[4])/2/tile)+' '+Math.floor((c[3]+c[5])/2/tile);
 for(var j=6;j<c.length;j+=3){var k=c[j]+' '+c[j+1]+t,e=m[k];
  if(!e)e=m[k]={d:[],b:c.slice(2,6)};else{var b=e.b;b[0]=Math.min(b[0],c[2]);b[1]=Math.min(b[1],c[3]);b[2]=Math.max(b[2],c[4]);b[3]=Math.max(b[3],c[5]);}
  e.d.push(c[j+2]);}
 (byNet[c[1]]=byNet[c[1]]||[]).push(i);});
paths=paths.map(function(m){var l=[];for(var k in m){var s=k.split(' ');l.push([' '+D.S[+s[0]]+' ',+s[1],new Path2D(m[k].d.join('')),m[k].b]);}return l;});
var body=D.B?new Path2D(D.B):null,T=G.map(function(){return '';});
D.T.forEach(function(t){T[t[0]]+=t[1];});
T.forEach(function(t,i){if(t)el('g',{transform:'scale(10)'},G[i]).innerHTML=t;});
var litG=el('g',{id:'lit'},flip),refs=el('g',{id:'refs','class':'x'},flip);
// One piece of a layer as the drawing's classes style it; px: a screen
// pixel in board units, a: the layer's opacity. Hairlines of lines and
// arcs are one pixel wide: the canvas draws a line of a pixel or less many
// times faster than a wider one.
function draw(c,w,p,color,px,a){var has=function(n){return c.indexOf(' '+n+' ')>=0;};
 cx.setLineDash([]);cx.lineCap=cx.lineJoin='round';cx.strokeStyle=cx.fillStyle=color;
 if(has('dot')){cx.globalAlpha=a*(has('m')?.8:1);cx.lineWidth=w;cx.stroke(p);return;}
 if(has('s')){cx.globalAlpha=a;cx.strokeStyle='#101418';cx.lineWidth=w;cx.stroke(p);return;}
 if(has('t')||has('h')||has('co')){cx.globalAlpha=a*(has('ko')?.5:1);
  cx.lineWidth=has('co')||has('t')&&(has('h')||!(w>0))?px:has('h')?1.5*px:w;if(has('co'))cx.setLineDash([6*px,4*px]);cx.stroke(p);return;}
 cx.globalAlpha=a*(has('pl')?.15:has('ko')?.2:has('pg')||has('r')?.35:has('sp')?.25:1);cx.fill(p);
 if(has('ko')){cx.globalAlpha=a;cx.lineWidth=px;cx.setLineDash([4*px,3*px]);cx.stroke(p);}}
var queued=false;
function paint(){queued=false;var r=cv.getBoundingClientRect(),k=window.devicePixelRatio||1;
 var w=Math.max(1,Math.round(r.width*k)),h=Math.max(1,Math.round(r.height*k));if(cv.width!==w||cv.height!==h){cv.width=w;cv.height=h;}
 cx.setTransform(1,0,0,1,0,0);cx.globalAlpha=1;cx.fillStyle='#101418';cx.fillRect(0,0,w,h);
 var s=Math.min(r.width/vb[2],r.height/vb[3]),ox=(r.width-vb[2]*s)/2-vb[0]*s,oy=(r.height-vb[3]*s)/2-vb[1]*s;
 cx.setTransform(s*k,0,0,-s*k,ox*k,oy*k);
 if(body){cx.fillStyle='#1d3326';cx.fill(body);}
 // What the canvas shows of the board.
 var a=lit?.25:1,x0=-ox/s,x1=(r.width-ox)/s,y0=(oy-r.height)/s,y1=oy/s;
 G.forEach(function(g,i){if(g.style.display==='none')return;
  paths[i].forEach(function(e){var b=e[3];if(b[2]<x0||b[0]>x1||b[3]<y0||b[1]>y1)return;draw(e[0],e[1],e[2],D.L[i][4],1/s,a);});});}
function repaint(){if(!queued){queued=true;requestAnimationFrame(paint);}}
)";

const char* const kDataNets = R"(var names=D.N,lit=0;
function piece(style,width,d,g){var a={'class':D.S[style],d:d};if(width>0)a['stroke-width']=width;return el('path',a,g);}
// The grid: cells of a 256th of the view's larger side; pieces (index) and
// components (-1 - index) by the cells their extents touch, the largest
// apart.
var cell=Math.max(D.v[2],D.v[3])/256,grid=new Map(),wide=[];
function cellsOf(x0,y0,x1,y1,f){var a=Math.floor(x0/cell),b=Math.floor(y0/cell),c=Math.floor(x1/cell),d=Math.floor(y1/cell);
 if((c-a+1)*(d-b+1)>64)return false;for(var i=a;i<=c;i++)for(var j=b;j<=d;j++)f(i*65536+j);return true;}
function index(id,x0,y0,x1,y1){if(!cellsOf(x0,y0,x1,y1,function(k){var l=grid.get(k);if(l)l.push(id);else grid.set(k,[id]);}))wide.push(id);}
D.C.forEach(function(c,i){index(i,c[2],c[3],c[4],c[5]);});
D.K.forEach(function(k,i){index(-1-i,k[8],k[9],k[10],k[11]);});
function at(e){var m=flip.getScreenCTM();if(!m)return null;var p=svg.createSVGPoint();p.x=e.clientX;p.y=e.clientY;return p.matrixTransform(m.inverse());}
function shown(i){return G[i].style.display!=='none';}
function inside(b,p){return p.x>=b[0]&&p.x<=b[2]&&p.y>=b[1]&&p.y<=b[3];}
// What lies under the pointer: the piece of a shown layer with the smallest
// extent that holds it (a net's copper before a layer's lines of no net that
// span the board; the topmost of equals) and the smallest component whose
// extent holds it, with its nearest pad.
function under(e){var p=at(e);if(!p)return null;var ids=(grid.get(Math.floor(p.x/cell)*65536+Math.floor(p.y/cell))||[]).concat(wide);
 var best=null,comp=null,area=function(b){return (b[2]-b[0])*(b[3]-b[1]);};
 ids.forEach(function(id){if(id>=0){var c=D.C[id],b=c.slice(2,6);if(!inside(b,p)||!shown(c[0])||G[c[0]].classList.contains('comp'))return;
   var d=best?area(b)-area(best.slice(2,6)):-1;if(d<0||(d===0&&c[0]>best[0]))best=c;}
  else{var k=D.K[-1-id],kb=k.slice(8,12);if(!inside(kb,p)||!shown(D.L.length-3-k[3]))return;if(!comp||area(kb)<area(comp.slice(8,12)))comp=k;}});
 var pad=null,pi=-1;if(comp){var t=-comp[2]*Math.PI/180,dx=p.x-comp[0],dy=p.y-comp[1],lx=dx*Math.cos(t)-dy*Math.sin(t),ly=dx*Math.sin(t)+dy*Math.cos(t),bd=Infinity;
  (D.P[comp[6]]||[]).forEach(function(q,i){var d=(q[0]-lx)*(q[0]-lx)+(q[1]-ly)*(q[1]-ly);if(d<bd){bd=d;pad=q;pi=i;}});}
 return {piece:best,comp:comp,pad:pad,net:comp&&pi>=0&&comp[7][pi]?comp[7][pi]:best?best[1]:0};}
function describe(u){var parts=[];if(!u)return '';
 if(u.comp){var k=u.comp;parts.push(k[4]+(u.pad?'-'+u.pad[2]:''));parts.push(k[4]+(k[5]?' ('+k[5]+')':'')+(k[3]?', bottom, ':', top, ')+k[2]+' deg');}
 if(u.net)parts.push('net '+names[u.net]);
 if(u.piece)parts.push(D.L[u.piece[0]][2]);else if(u.comp)parts.push(D.L[D.L.length-3-u.comp[3]][2]);
 return parts.join('\n');}
function hover(e){if(e.target!==svg&&!svg.contains(e.target))return;info.textContent=(lit?'highlighted: net '+names[lit]+'\n':'')+describe(under(e));}
function pick(t,e){var u=under(e),k=u?u.net:0;if(k===lit)k=0;lit=k;litG.textContent='';svg.classList.toggle('hl',k>0);repaint();
 if(!k){info.textContent='';return;}var count=0;
 (byNet[k]||[]).forEach(function(i){var c=D.C[i];if(!shown(c[0]))return;
  for(var j=6;j<c.length;j+=3){var p=piece(c[j],c[j+1],c[j+2],litG);p.setAttribute('fill',D.L[c[0]][4]);p.setAttribute('stroke',D.L[c[0]][4]);count++;}});
 info.textContent='highlighted: net '+names[k]+' ('+count+' pieces); click it again to clear';}
// Designators once the view holds few enough components to read them.
function designators(){refs.textContent='';var x0=vb[0],y0=-vb[1]-vb[3],x1=vb[0]+vb[2],y1=-vb[1],n=0,list=[];
 for(var i=0;i<D.K.length&&n<=300;i++){var k=D.K[i];if(k[10]>=x0&&k[8]<=x1&&k[11]>=y0&&k[9]<=y1){n++;list.push(k);}}
 if(n>300)return;list.forEach(function(k){var h=Math.min(Math.max(Math.min(k[10]-k[8],k[11]-k[9])/3,100),800)/100;
  var t=el('text',{'class':'d','text-anchor':'middle',fill:D.L[D.L.length-3-k[3]][4],transform:'translate('+(k[8]+k[10])/2+' '+(k[9]+k[11])/2+')scale('+h+' '+(-h)+')'},refs);t.textContent=k[4];});}
after=function(){designators();repaint();};designators();paint();
window.addEventListener('load',paint);window.addEventListener('resize',repaint);
)";

// The page around a view (the drawing, or the data it is drawn from, inside
// `viewHead` and `viewTail`), its script made of `parts`: what comes before
// the view and what comes after it. A large board's view is hundreds of
// megabytes, the page around it a few kilobytes; the view goes between them
// as it is made.
PageFrame Frame(const std::string& title, const std::string& summary, const char* extraStyle,
                std::initializer_list<const char*> parts, const char* viewHead = "",
                const char* viewTail = "") {
    PageFrame frame;
    std::string& head = frame.head;
    head.reserve(summary.size() + 16384);
    head += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>";
    AppendXmlText(head, title);
    head += "</title>\n";
    head += kStyle;
    head += extraStyle;
    head += "\n</head><body>\n<div id=\"side\"><h1>";
    AppendXmlText(head, title);
    head += "</h1>"
            "<div><button id=\"fit\">fit</button><button id=\"zin\">+</button>"
            "<button id=\"zout\">&#8722;</button></div>"
            "<h2>Layers <button id=\"all\">all</button><button id=\"none\">none</button></h2>"
            "<div id=\"layers\"></div>"
            "<h2>Under the pointer</h2><div id=\"info\"></div>"
            "<h2>Board</h2><pre id=\"summary\">";
    AppendXmlText(head, summary);
    head += "</pre>"
            "<p>Wheel: zoom, drag: pan, double-click: fit, click a pad or track: its net.</p>"
            "</div>\n<div id=\"view\">\n";
    head += viewHead;
    std::string& tail = frame.tail;
    tail = viewTail;
    tail += "</div>\n<script>\n(function(){\n";
    for (const char* part : parts)
        tail += part;
    tail += "})();\n</script>\n</body></html>\n";
    return frame;
}

} // namespace

std::string BoardPage(std::string svg, const std::string& title, const std::string& summary) {
    const PageFrame frame = Frame(title, summary, "", {kMarkupScript, kViewScript, kMarkupNets});
    return frame.head + svg + frame.tail;
}

PageFrame DataPageFrame(const std::string& title, const std::string& summary) {
    std::string style = "<style>";
    style += PictureCss();
    style += ".pl{fill-opacity:.15}.dot{fill:none;stroke-linecap:round}.dot.m{stroke-opacity:.8}"
             "#board *{pointer-events:none}#board{background:none}"
             "#view>canvas{position:absolute;left:0;top:0;width:100%;height:100%}</style>";
    return Frame(title, summary, style.c_str(), {kDataScript, kViewScript, kDataNets},
                 "<script type=\"application/json\" id=\"data\">", "</script>");
}

} // namespace Harrow
