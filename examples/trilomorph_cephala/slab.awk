# slab.awk: the completed half cephala of a TPS file as whole cephala on one
# deformed slab, in the row format (one specimen per line, size slot 1).
#
# Each specimen's side (landmarks 5-9, 11, 12, 14-16) is reflected across its
# own midline, the line through landmarks 1 and 4, as landmarks 17-26, so
# that every cephalon has ten left-right pairs. Specimen i is then turned to
# the bearing i x 137.5 degrees (the golden angle: bearings spread evenly
# round the compass, the same on every machine), and the whole slab is
# deformed by the strain of axis ratio R whose long axis lies at the bearing
# theta (degrees clockwise from north).
#
#   awk -v R=1.8 -v theta=35 -f slab.awk completed.tps > slab.txt
#
# The input must be complete (no -1 -1 point); a block with one is refused.
BEGIN {
  CONVFMT = OFMT = "%.10g"
  if (R == "") R = 1.8
  if (theta == "") theta = 35
  split("5 6 7 8 9 11 12 14 15 16", side, " ")
  pi = atan2(0, -1)
  a = pi / 2 - theta * pi / 180 # the long axis, counter-clockwise from +x
  c = cos(a); s = sin(a); e = sqrt(R)
  # The strain: stretch e along (c, s), shorten by 1/e across it.
  f11 = e * c * c + s * s / e; f12 = (e - 1 / e) * c * s
  f21 = f12;                   f22 = e * s * s + c * c / e
}
{ sub(/\r$/, "") }
toupper(substr($1, 1, 3)) == "LM=" { flush(); k = substr($1, 4) + 0; n = 0; next }
n < k && NF >= 2 { n++; x[n] = $1 + 0; y[n] = $2 + 0; next }
END { flush() }
function flush(   j, ux, uy, len, dx, dy, along, m, b, cb, sb, px, py, out) {
  if (k == 0 || n < k) return
  specimen++
  for (j = 1; j <= k; j++)
    if (x[j] == -1 && y[j] == -1) { print "slab.awk: specimen " specimen " has a missing landmark" > "/dev/stderr"; exit 1 }
  ux = x[4] - x[1]; uy = y[4] - y[1]; len = sqrt(ux * ux + uy * uy)
  if (len == 0) { print "slab.awk: specimen " specimen ": landmarks 1 and 4 coincide" > "/dev/stderr"; exit 1 }
  ux /= len; uy /= len
  m = k
  for (j = 1; j <= 10; j++) {
    dx = x[side[j]] - x[1]; dy = y[side[j]] - y[1]; along = dx * ux + dy * uy
    m++; x[m] = x[1] + 2 * along * ux - dx; y[m] = y[1] + 2 * along * uy - dy
  }
  # Turned about landmark 1 by the bearing, laid on the slab, then strained.
  b = specimen * 137.5 * pi / 180; cb = cos(b); sb = sin(b)
  out = ""
  for (j = 1; j <= m; j++) {
    dx = x[j] - x[1]; dy = y[j] - y[1]
    px = cb * dx + sb * dy + 1000 * (specimen % 10); py = -sb * dx + cb * dy + 1000 * int(specimen / 10)
    out = out (f11 * px + f12 * py) " " (f21 * px + f22 * py) " "
  }
  print out 1
  k = 0
}
