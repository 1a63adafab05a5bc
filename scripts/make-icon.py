#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the 32 x 32 application icon (a framed landscape with a shrink arrow) into
# toolkit/resources/pictavo.png. Run from the source root.
import zlib, struct, math
W=H=32
px=[[(0,0,0)]*W for _ in range(H)]
def put(x,y,c):
    if 0<=x<W and 0<=y<H: px[y][x]=c
# background: deep teal, lighter towards the top
for y in range(H):
    for x in range(W):
        t=y/31
        px[y][x]=(int(20+20*t),int(110-40*t),int(140-40*t))
# white photo card with a dark edge
for y in range(5,27):
    for x in range(4,28):
        edge = x in (4,27) or y in (5,26)
        px[y][x]=(40,40,48) if edge else (250,250,246)
# sky inside the card
for y in range(7,25):
    for x in range(6,26):
        t=(y-7)/17
        px[y][x]=(int(120+80*t),int(180+50*t),int(240-10*t))
# sun
for y in range(7,25):
    for x in range(6,26):
        if (x-20.5)**2+(y-11.5)**2<=7.5: px[y][x]=(255,205,40)
# two hills
for x in range(6,26):
    h1=int(19-5*math.exp(-((x-11)/4.0)**2))
    h2=int(22-4*math.exp(-((x-19)/3.5)**2))
    for y in range(min(h1,h2),25):
        px[y][x]=(46,140,70) if y>=h2 else (70,170,90)
# a diagonal shrink arrow in the bottom right corner
for i in range(7):
    for d in (-1,0,1):
        put(30-i, 30-i+d, (255,255,255))
for i in range(5):
    put(24+i,24,(255,255,255)); put(24,24+i,(255,255,255))
    put(24+i,25,(255,255,255)); put(25,24+i,(255,255,255))
raw=b''.join(b'\x00'+bytes(c for p in row for c in p) for row in px)
def chunk(t,d): return struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)&0xffffffff)
png=b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',W,H,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw,9))+chunk(b'IEND',b'')
open('toolkit/resources/pictavo.png','wb').write(png)
