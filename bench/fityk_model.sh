#!/usr/bin/env bash
# Prints fityk's model (Linear + Gaussians, with free start values) for a
# start-value file of function 18 (A1, A2, then H C W per peak; fityk's
# Gaussian takes the half width). Usage: bench/fityk_model.sh START_FILE
awk 'NR==1{a0=$2} NR==2{printf "Linear(a0=~%s, a1=~%s)", a0, $2}
     NR>2 && (NR-3)%3==0 {h=$2} NR>2 && (NR-3)%3==1 {c=$2}
     NR>2 && (NR-3)%3==2 {printf " + Gaussian(height=~%s, center=~%s, hwhm=~%.10g)", h, c, $2/2}' "$1"
